// The page's frame costs under SwiftShader, for bench/show/frame_costs.py:
// the whole show in virtual time with every frame drawn and timed (its
// drawing, the GL pipeline finished), once per run, each run's show.log and
// timings.log in OUT_DIR/run_N.
//
//   node tests/web/web_frame_costs.mjs SITE_DIR OUT_DIR [RUNS]
//   bench/show/frame_costs.py --from OUT_DIR/run_*
import fs from 'node:fs';
import path from 'node:path';
import {captureVirtualShow, launchChromium, serveSite} from './page_driver.mjs';

if (process.argv.length < 4 || process.argv.length > 5) {
  console.error('usage: node web_frame_costs.mjs SITE_DIR OUT_DIR [RUNS]');
  process.exit(2);
}
const [siteDir, out] = process.argv.slice(2, 4).map((p) => path.resolve(p));
const runs = Number(process.argv[4] || 1);
const site = await serveSite(siteDir);
const browser = await launchChromium();
for (let run = 1; run <= runs; ++run) {
  const dir = path.join(out, `run_${run}`);
  fs.rmSync(dir, {recursive: true, force: true});
  fs.mkdirSync(dir, {recursive: true});
  const status = await captureVirtualShow(browser, site, dir, 'timings=1', 1800000);
  console.log(`run ${run}: status ${status}, ${dir}`);
}
await browser.close();
site.close();
