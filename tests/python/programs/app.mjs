import { join, basename as base } from "node:path";
import * as os from 'node:os';
import fs from "node:fs";
import util, { format } from "node:util";

export const limit = 3;
export let counter = 0;

export function add(a, b) {
  return a + b;
}

export async function later(value) {
  return value * 2;
}

export function* numbers() {
  yield 1;
  yield 2;
}

export class Tally {
  #count = 0;
  static of(n) {
    const tally = new Tally();
    tally.#count = n;
    return tally;
  }
  get value() {
    return this.#count * 10;
  }
}

export default {
  name: "config",
  size: 2,
};

function pick(flag) {
  return flag
    ? "yes"
    : "no";
}

const ok = limit > 2 &&
  counter === 0 ||
  false;

const words = ["b", "a", "c"]
  .map((w) => w.toUpperCase())
  .sort()
  .join("-");

const template = `first line
  second "line" with 'quotes' and \`ticks\`
third ${add(1, 2)}`;

const escaped = "tab\there\\back \"quoted\" 'single' \u00e9 é 😀";
const regex = /a\/b\d+/g;
console.log(join("a", "b"), base("/x/y.txt"), typeof os.platform(), typeof fs.readFileSync);
console.log(format("%s=%d", "n", 5), typeof util.inspect);
console.log(pick(true), pick(false), ok, words);
console.log(template);
console.log(escaped, regex.test("a/b12"));
console.log([...numbers()].join(","));
console.log(Tally.of(4).value, JSON.stringify("a b c"), 'it\'s');
later(21).then((v) => console.log("later", v));
