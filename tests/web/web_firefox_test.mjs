// The show's web page in Firefox ESR, under a virtual X server (headless
// Firefox has no WebGL on these machines), served from 127.0.0.1:
//
//   1. Answering No, in virtual time: the capture log of order/row per frame
//      equals the desktop capture's, and the pictures at every reference
//      moment match tests/e2e/reference by the rules of Chromium's run.
//   2. Answering No with the button, in real time: the question, then the
//      loading bar and a lit show picture; what the worklet played equals
//      the song's render sample for sample; its console has no warnings and
//      every file it asked for was there.
//
//   xvfb-run -a -s '-screen 0 1280x1024x24' node web_firefox_test.mjs SITE_DIR NATIVE_BIN_DIR DESKTOP_SHOW_LOG WORK_DIR
//
// The arguments are web_show_test.mjs's. Firefox starts no AudioContext
// without a sound device, so the test runs a PulseAudio server of its own
// with a silent sink, on a socket in WORK_DIR.
// Prints a line per check and "N passed, N failed"; exits 1 when any failed.
import {spawnSync} from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import {fileURLToPath} from 'node:url';
import {canvasShows, checkVirtualShow, keptSound, launchFirefox, openPage, serveSite, startSoundServer} from './page_driver.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const song = path.resolve(here, '../../src/data/song.xm');
const REAL_TIME_SHOW_MS = 6000;  // how long the real-time run listens to the show

if (process.argv.length !== 6) {
  console.error('usage: node web_firefox_test.mjs SITE_DIR NATIVE_BIN_DIR DESKTOP_SHOW_LOG WORK_DIR');
  process.exit(2);
}
const [siteDir, nativeBin, desktopLog, work] = process.argv.slice(2).map((p) => path.resolve(p));
fs.rmSync(work, {recursive: true, force: true});
fs.mkdirSync(work, {recursive: true});

let passed = 0, failed = 0;
function check(name, ok, detail = '') {
  ok ? ++passed : ++failed;
  console.log(`${ok ? 'ok  ' : 'FAIL'} firefox: ${name}${detail ? `: ${detail}` : ''}`);
}
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

const soundServer = await startSoundServer(work);
const site = await serveSite(siteDir);
const browser = await launchFirefox(soundServer.env);

// 1. Virtual time: log and pictures against the desktop's.
await checkVirtualShow(check, browser, site, nativeBin, desktopLog, work);

// 2. Real time, answering No.
try {
  const page = await openPage(browser, `${site.origin}/?keep_played=1`, path.join(work, 'no.console.txt'));
  const text = await page.evaluate(() => document.getElementById('question-text').textContent);
  check('the page asks the question', text === 'Would you like full-screen stupidity?', text);
  await page.click('#no');
  const seen = [];
  for (const start = Date.now(); Date.now() - start < 30000 && !seen.includes('show');) {
    const now = await canvasShows(page);
    if (seen[seen.length - 1] !== now)
      seen.push(now);
  }
  const loadingFirst = seen.indexOf('loading') >= 0 && seen.indexOf('loading') < seen.indexOf('show');
  check('after No, the loading bar, then the show appear', loadingFirst, seen.join(' → '));
  await sleep(REAL_TIME_SHOW_MS);
  const sound = await keptSound(page);
  const seconds = sound.played.length / 4 / 44100;
  const out = path.join(work, 'native.wav');
  spawnSync(path.join(nativeBin, 'xm2wav'), [song, out, '--seconds', String(Math.ceil(seconds) + 1)]);
  const render = fs.existsSync(out) ? fs.readFileSync(out).subarray(44) : Buffer.alloc(0);
  check('what the worklet played is the song\'s render, sample for sample',
        seconds >= REAL_TIME_SHOW_MS / 2000 && sound.played.equals(render.subarray(0, sound.played.length)),
        `${seconds.toFixed(2)} s played at a ${sound.rate} Hz context, ${sound.underruns} render quanta short`);
  await page.close();
  const noisy = fs.readFileSync(path.join(work, 'no.console.txt'), 'utf8').split('\n')
    .filter((line) => /^(warn|warning|error|assert|pageerror):/.test(line));
  check('the run warns of nothing, and every file the page asked for was there',
        noisy.length === 0 && site.missing.length === 0, [...noisy, ...site.missing.map((url) => `404 ${url}`)].join(' / '));
} catch (error) {
  check('the real-time run answering No went through', false, error.message.split('\n')[0]);
}

await browser.close();
site.close();
soundServer.stop();
console.log(`web in firefox: ${passed} passed, ${failed} failed`);
process.exit(failed ? 1 : 0);
