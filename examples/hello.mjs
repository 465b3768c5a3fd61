import { platform } from "node:os";

export function greet(name) {
  return `Hello from Node.js on ${platform()}, ${name}!`;
}

export default greet;

for (const name of ["world", "merged file"]) {
  console.log(greet(name));
}
