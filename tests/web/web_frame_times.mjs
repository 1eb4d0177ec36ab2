// The page's frame intervals and the program's own work per frame in real
// time, answering No and watching SECONDS of the show, in headless Chromium
// (SwiftShader) or in Firefox ESR (run under xvfb-run with a 1280x1024x24
// screen, as web_firefox_test.mjs is). The work is the time from the
// program's resumption at an animation frame to its next wait for one: its
// drawing calls, not the browser's rasterising. Prints the load average
// with both figures and the canvas's backing store at the end, in an 800x600
// viewport of DEVICE_PIXEL_RATIO device pixels a CSS pixel (1 unless given).
// (Firefox rounds performance.now() to whole ms.)
//
//   node tests/web/web_frame_times.mjs SITE_DIR chromium|firefox [SECONDS] [DEVICE_PIXEL_RATIO]
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import {launchChromium, launchFirefox, openPage, serveSite, startSoundServer} from './page_driver.mjs';

if (process.argv.length < 4 || !['chromium', 'firefox'].includes(process.argv[3])) {
  console.error('usage: node web_frame_times.mjs SITE_DIR chromium|firefox [SECONDS] [DEVICE_PIXEL_RATIO]');
  process.exit(2);
}
const [siteDir, which, seconds = '60', ratio = '1'] = process.argv.slice(2);
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'web-frame-times-'));
const site = await serveSite(path.resolve(siteDir));
const soundServer = which === 'firefox' ? await startSoundServer(work) : null;
const browser = which === 'firefox' ? await launchFirefox(soundServer.env) : await launchChromium();
const page = await openPage(browser, `${site.origin}/`, path.join(work, 'console.txt'),
                            {deviceScaleFactor: Number(ratio)});
await page.evaluate(() => {
  const times = {intervals: [], work: []};
  let resumed = null;
  const nextFrame = invitationPage.nextFrame.bind(invitationPage);
  invitationPage.nextFrame = (virtualTime) => {
    const now = performance.now();
    if (resumed !== null)
      times.work.push(now - resumed);
    return nextFrame(virtualTime).then(() => {
      const at = performance.now();
      if (resumed !== null)
        times.intervals.push(at - resumed);
      resumed = at;
    });
  };
  window.frameTimes = times;
});
const loadBefore = os.loadavg()[0];
await page.click('#no');
await new Promise((resolve) => setTimeout(resolve, Number(seconds) * 1000));
const times = await page.evaluate(() => ({...window.frameTimes, underruns: invitationPage.sound.underruns,
                                          canvas: ((c) => `${c.width}x${c.height}`)(document.getElementById('canvas'))}));
const loadAfter = os.loadavg()[0];
const summary = (values) => {
  const sorted = values.slice().sort((a, b) => a - b);
  const at = (q) => sorted[Math.min(sorted.length - 1, Math.floor(q * sorted.length))].toFixed(1);
  return `median ${at(0.5)}, p95 ${at(0.95)}, p99 ${at(0.99)}, max ${sorted[sorted.length - 1].toFixed(1)} ms`;
};
console.log(`${which}, ${seconds} s of the show, device pixel ratio ${ratio}, canvas ${times.canvas} at the end, load average ${loadBefore.toFixed(2)} → ${loadAfter.toFixed(2)} on ${os.cpus().length} cores`);
console.log(`  frame intervals (${times.intervals.length}): ${summary(times.intervals)}`);
console.log(`  the program's work per frame: ${summary(times.work)}`);
console.log(`  render quanta the worklet filled with silence: ${times.underruns}`);
await browser.close();
site.close();
if (soundServer)
  soundServer.stop();
fs.rmSync(work, {recursive: true, force: true});
