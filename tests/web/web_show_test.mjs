// The show's web page checked in Debian's Chromium, headless, with its
// software WebGL (SwiftShader), served from 127.0.0.1 by this script:
//
//   1. The player in WebAssembly (xm2wav.js under node) renders the song to
//      the same bytes as the native xm2wav.
//   2. Answering No, in virtual time (virtual_time=1): the capture log of
//      order/row per frame equals the desktop capture's, and the pictures at
//      every reference moment match tests/e2e/reference (picture_check; see
//      RASTER_DIFFERS below).
//   3. Answering No with Esc, in real time: the loading bar, then the show
//      appear on the page; the canvas fits 360x640 and 500x400 viewports;
//      what the worklet played equals the song's render sample for sample,
//      through two 1.5 s stalls of the page's thread without running dry;
//      the controls mute the worklet and toggle full screen; Esc ends the
//      show, the canvas black, with a way to watch again; the console has
//      no warnings and every file asked for was there (the icon too).
//   4. Answering Yes (Return): full screen granted or refused, the show runs,
//      an offset written as 1e3 refused;
//      on a touch screen, a tap shows the controls and Stop ends it.
//   5. On a display of two device pixels a CSS pixel: the canvas's backing
//      store is its displayed size times two, 4:3 (a 640x480 and a 360x640
//      phone viewport), and the picture is drawn at that size, not scaled
//      up: around a headline and the closing screen's text the 1280x960
//      picture holds more edge energy than the 640x480 reference scaled up
//      (picture_check detail).
//   6. In a browser without WebGL 2, or without sound worklets, the page
//      says so in one sentence before asking anything.
//
//   node web_show_test.mjs SITE_DIR NATIVE_BIN_DIR DESKTOP_SHOW_LOG WORK_DIR
//
// SITE_DIR is build-web/site (build-web/bin holds xm2wav.js); NATIVE_BIN_DIR
// holds the native xm2wav and picture_check; DESKTOP_SHOW_LOG is the log of
// the desktop capture (the capture test's, build/tests/e2e/capture/first/show.log).
// Prints a line per check and "N passed, N failed"; exits 1 when any failed.
import {spawnSync} from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import {fileURLToPath} from 'node:url';
import {canvasShows, captureVirtualShow, checkVirtualShow, keptSound, launchChromium, openPage, serveSite,
        writePng} from './page_driver.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const root = path.resolve(here, '../..');
const song = path.join(root, 'src/data/song.xm');
const REAL_TIME_SHOW_MS = 8000;  // how long the real-time run watches the show
const STALL_MS = 1500;

if (process.argv.length !== 6) {
  console.error('usage: node web_show_test.mjs SITE_DIR NATIVE_BIN_DIR DESKTOP_SHOW_LOG WORK_DIR');
  process.exit(2);
}
const [siteDir, nativeBin, desktopLog, work] = process.argv.slice(2).map((p) => path.resolve(p));
fs.rmSync(work, {recursive: true, force: true});
fs.mkdirSync(work, {recursive: true});

let passed = 0, failed = 0;
function check(name, ok, detail = '') {
  ok ? ++passed : ++failed;
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${name}${detail ? `: ${detail}` : ''}`);
}

const site = await serveSite(siteDir);

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

function renderNative(seconds) {
  const out = path.join(work, `native_${seconds}.wav`);
  const args = [song, out].concat(seconds ? ['--seconds', String(seconds)] : []);
  const run = spawnSync(path.join(nativeBin, 'xm2wav'), args, {stdio: ['ignore', 'ignore', 'pipe']});
  if (run.status !== 0)
    throw new Error('the native xm2wav failed');
  return fs.readFileSync(out);
}

// 1. The player compiled to WebAssembly, under node.
{
  const out = path.join(work, 'wasm.wav');
  const run = spawnSync('node', ['--no-experimental-fetch', path.join(siteDir, '../bin/xm2wav.js'), song, out],
                        {stdio: ['ignore', 'ignore', 'pipe']});
  const same = run.status === 0 && fs.readFileSync(out).equals(renderNative(0));
  check('xm2wav in WebAssembly renders the song to the native bytes', same);
}

const browser = await launchChromium();

// A fresh page, with its console kept in the work folder.
const openNamedPage = (name, query, viewport) =>
  openPage(browser, `${site.origin}/${query}`, path.join(work, `${name}.console.txt`), viewport);

// 2. Virtual time: log and pictures against the desktop's.
await checkVirtualShow(check, browser, site, nativeBin, desktopLog, work);

// 3. Real time, answering No.
try {
  const page = await openNamedPage('no', '?keep_played=1');
  const texts = await page.evaluate(() => [document.getElementById('caption').textContent,
                                           document.getElementById('question-text').textContent]);
  check('the page asks the question', texts[0] === 'Enter the Quendra xmas compo 2004!' &&
        texts[1] === 'Would you like full-screen stupidity?', texts.join(' / '));
  // Esc answers No and nothing more: the show must still start (the run
  // without WebGL below answers with the No button).
  await page.keyboard.press('Escape');
  const seen = [];
  const start = Date.now();
  while (Date.now() - start < 20000 && !seen.includes('show')) {
    const now = await canvasShows(page);
    if (seen[seen.length - 1] !== now)
      seen.push(now);
  }
  const loadingFirst = seen.indexOf('loading') >= 0 && seen.indexOf('loading') < seen.indexOf('show');
  check('after Esc at the question, the loading bar, then the show appear', loadingFirst, seen.join(' → '));
  // A phone held upright, a small window, then back: the canvas follows,
  // 4:3 and wholly inside the viewport.
  const fits = [];
  for (const [width, height] of [[360, 640], [500, 400], [800, 600]]) {
    await page.setViewport({width, height});
    await sleep(100);
    const box = await page.evaluate(() => {
      const r = document.getElementById('canvas').getBoundingClientRect();
      return [r.left, r.top, r.right, r.bottom, innerWidth, innerHeight, scrollX, scrollY];
    });
    const [left, top, right, bottom, viewWidth, viewHeight, scrollX, scrollY] = box;
    const ok = left >= 0 && top >= 0 && right <= viewWidth && bottom <= viewHeight && scrollX === 0 && scrollY === 0 &&
               Math.abs((right - left) * 3 - (bottom - top) * 4) <= 4 && (right - left === viewWidth || bottom - top === viewHeight);
    fits.push(`${width}x${height}: ${box.slice(0, 4).map(Math.round).join(',')}${ok ? '' : ' (wrong)'}`);
    if (!ok)
      fits.failed = true;
  }
  check('the canvas fits each viewport, 4:3, as large as fits', !fits.failed, fits.join('; '));
  await sleep(REAL_TIME_SHOW_MS / 2);
  // The page's thread held up, as by a slow frame: the worklet plays on.
  for (let stall = 0; stall < 2; ++stall) {
    await page.evaluate((ms) => { const until = performance.now() + ms; while (performance.now() < until); }, STALL_MS);
    await sleep(REAL_TIME_SHOW_MS / 4);
  }
  const sound = await keptSound(page);
  const played = sound.played;
  const seconds = played.length / 4 / 44100;
  const render = renderNative(Math.ceil(seconds) + 1).subarray(44);
  check('what the worklet played is the song\'s render, sample for sample',
        played.length >= 4 * 44100 * (REAL_TIME_SHOW_MS / 2000) && played.equals(render.subarray(0, played.length)),
        `${seconds.toFixed(2)} s played at a ${sound.rate} Hz context`);
  check(`the sound never ran dry, through two ${STALL_MS} ms stalls`, sound.underruns === 0,
        `${sound.underruns} render quanta short`);
  // The controls: the mouse shows them; Mute silences what the worklet puts
  // out while it plays on, M gives the sound back; the button and F toggle
  // full screen.
  const loudest = () => page.evaluate(async () => {
    const start = invitationPage.sound.played;
    let peak = 0;
    for (let i = 0; i < 25; ++i) {
      await new Promise((resolve) => setTimeout(resolve, 20));
      peak = Math.max(peak, invitationPage.sound.peak);
    }
    return {peak, played: invitationPage.sound.played - start};
  });
  await page.mouse.move(400, 300);
  await page.mouse.move(420, 310);
  await page.click('#mute');
  await sleep(100);
  const muted = await loudest();
  await page.keyboard.press('m');
  await sleep(100);
  const unmuted = await loudest();
  check('Mute silences the worklet as it plays on, M gives the sound back',
        muted.peak === 0 && muted.played > 0 && unmuted.peak > 0.01,
        `peak ${muted.peak.toFixed(3)} muted (${muted.played} frames played), ${unmuted.peak.toFixed(3)} after M`);
  const fullscreenElement = () => page.evaluate(() => document.fullscreenElement && document.fullscreenElement.id);
  await page.mouse.move(400, 300);
  await page.click('#fullscreen');
  await page.waitForFunction(() => document.fullscreenElement, {timeout: 3000}).catch(() => {});
  const entered = await fullscreenElement();
  await page.keyboard.press('f');
  await page.waitForFunction(() => !document.fullscreenElement, {timeout: 3000}).catch(() => {});
  const left = await fullscreenElement();
  check('the Full screen button enters full screen with the controls, F leaves it', entered === 'stage' && !left,
        `after the button: ${entered}, after F: ${left}`);
  await page.keyboard.press('Escape');
  await page.waitForFunction(() => invitationPage.status !== null, {timeout: 20000}).catch(() => {});
  await sleep(200);
  const end = await page.evaluate(() => [invitationPage.status, !document.getElementById('again').hidden,
                                         document.activeElement.id, invitationPage.sound.context.state]);
  const picture = await canvasShows(page);
  check('Esc ends the show: status 0, the canvas black, watch again offered and focused, the sound closed',
        end[0] === 0 && end[1] && end[2] === 'again' && end[3] === 'closed' && picture === 'black',
        `status ${end[0]}, canvas ${picture}, focus on #${end[2]}, sound ${end[3]}`);
  await page.close();
  const noisy = fs.readFileSync(path.join(work, 'no.console.txt'), 'utf8').split('\n').filter((line) => /^(warn|warning|error|assert|pageerror):/.test(line));
  check('a whole run warns of nothing, and every file the page asked for was there, its icon too',
        noisy.length === 0 && site.missing.length === 0 && site.served.includes('/icon.png'),
        [...noisy, ...site.missing.map((url) => `404 ${url}`)].join(' / '));
} catch (error) {
  check('the real-time run answering No went through', false, error.message.split('\n')[0]);
}

// 4. Real time, answering Yes.
try {
  const page = await openNamedPage('yes', '?audio_offset_ms=1e3', {hasTouch: true});
  // Return answers Yes wherever the focus is, and is a gesture that lets the page go full screen.
  await page.evaluate(() => document.activeElement.blur());
  await page.keyboard.press('Enter');
  let shows = false;
  for (const start = Date.now(); Date.now() - start < 20000 && !shows;)
    shows = (await canvasShows(page)) === 'show';
  const state = await page.evaluate(async () => [await invitationPage.fullscreen, invitationPage.sound.played,
                                                 invitationPage.sound.offsetSeconds]);
  const fullscreen = state[0] === null ? 'not asked for' : state[0] ? 'granted' : 'refused';
  check('answering Yes with Return, full screen is asked for and the show runs, audio_offset_ms=1e3 refused',
        shows && state[1] > 0 && state[0] !== null && state[2] === 0,
        `full screen ${fullscreen}, ${state[1]} frames played, offset ${state[2]} s`);
  // A tap shows the controls (faded ones take no tap), a second one stops.
  await page.touchscreen.tap(400, 300);
  const box = await (await page.$('#stop')).boundingBox();
  await sleep(300);
  await page.touchscreen.tap(box.x + box.width / 2, box.y + box.height / 2);
  const stopped = await page.waitForFunction(() => invitationPage.status === 0, {timeout: 20000}).then(() => true, () => false);
  check('on a touch screen a tap shows the controls and Stop ends the show', stopped);
  await page.close();
} catch (error) {
  check('the real-time run answering Yes went through', false, error.message.split('\n')[0]);
}

// 5. Two device pixels a CSS pixel, in virtual time: the pictures of a
// headline and of the closing screen's first lines, against the 640x480 ones
// of the run in 2.
try {
  const dir = path.join(work, 'dpr2');
  fs.mkdirSync(dir);
  const moments = [11300, 88840];
  const status = await captureVirtualShow(browser, site, dir, `at=${moments.join(',')}`, 240000,
                                          {width: 640, height: 480, deviceScaleFactor: 2});
  const details = [];
  let sharp = status === 0;
  // Crops in 640x480 pixels (left top width height), as the capture's sizes test.
  for (const [at, crop] of [[11300, [0, 120, 640, 240]], [88840, [100, 40, 440, 160]]]) {
    const raw = path.join(dir, `frame_${at}.rgb`);
    const large = path.join(dir, `frame_${at}.png`);
    const drawn = fs.existsSync(raw) && fs.statSync(raw).size === 1280 * 960 * 3;
    if (drawn)
      writePng(large, fs.readFileSync(raw), 1280, 960);
    const run = drawn ? spawnSync(path.join(nativeBin, 'picture_check'),
                                  ['detail', path.join(work, 'virtual', `frame_${at}.png`), large, ...crop.map(String), '1.5'],
                                  {encoding: 'utf8'}) : {status: 1, stdout: 'no 1280x960 picture'};
    sharp = sharp && run.status === 0;
    details.push(`${at} ms: ${(run.stdout + (run.stderr || '')).trim().split('\n').pop()}`);
  }
  check('at two device pixels a CSS pixel the picture is drawn at 1280x960, not scaled up', sharp, details.join('; '));
  // The backing store follows the displayed size, a phone's too; in virtual
  // time, where no frame runs over and the frame budget leaves the size be.
  const page = await openNamedPage('dpr2', '?virtual_time=1', {width: 360, height: 640, deviceScaleFactor: 2});
  await page.click('#no');
  const sizes = [];
  let follows = true;
  for (const [width, height] of [[360, 640], [640, 480], [1000, 900]]) {
    await page.setViewport({width, height, deviceScaleFactor: 2});
    const want = await page.evaluate(() => {
      const r = document.getElementById('canvas').getBoundingClientRect();
      const steps = Math.max(160, Math.min(720, Math.floor(Math.round(r.width * 2) / 4),
                                           Math.floor(Math.round(r.height * 2) / 3)));
      return [4 * steps, 3 * steps];
    });
    const got = await page.waitForFunction((w, h) => {
      const c = document.getElementById('canvas');
      return c.width === w && c.height === h && [c.width, c.height];
    }, {timeout: 20000, polling: 100}, want[0], want[1]).then((handle) => handle.jsonValue(), () => null);
    const seen = await page.evaluate(() => { const c = document.getElementById('canvas'); return [c.width, c.height]; });
    sizes.push(`${width}x${height}: ${seen.join('x')}${got ? '' : ` (wanted ${want.join('x')})`}`);
    follows = follows && got !== null;
  }
  check('the canvas\'s backing store is its displayed size times two, 4:3, following the viewport', follows,
        sizes.join('; '));
  await page.close();
} catch (error) {
  check('the run at two device pixels a CSS pixel went through', false, error.message.split('\n')[0]);
}

await browser.close();

// 6. A browser without WebGL 2, and one without sound worklets: before any
// question, one sentence in the page's box, logged once, nothing to answer.
async function checkUnsupported(name, launchArgs, hide, lacks) {
  try {
    const bare = await launchChromium(launchArgs);
    const page = await bare.newPage();
    const errors = [];
    page.on('console', (message) => message.type() === 'error' && errors.push(message.text()));
    if (hide)
      await page.evaluateOnNewDocument(hide);
    await page.goto(`${site.origin}/`);
    await sleep(3000);
    const [text, boxShown, buttonsShown, again, status] = await page.evaluate(() => [
      document.getElementById('question-text').textContent, !document.getElementById('question').hidden,
      !document.querySelector('#question .buttons').hidden, !document.getElementById('again').hidden, invitationPage.status]);
    check(`without ${name} the page's box says so in one sentence, logged once, with nothing to answer`,
          boxShown && !buttonsShown && !again && status === null && text.includes(lacks) && !/^invitation:|OpenGL/.test(text) &&
          errors.length === 1 && errors[0] === text, `${text} (console errors: ${errors.join(' / ')})`);
    await bare.close();
  } catch (error) {
    check(`the run without ${name} went through`, false, error.message.split('\n')[0]);
  }
}
await checkUnsupported('WebGL 2', ['--disable-3d-apis'], null, 'WebGL 2');
await checkUnsupported('sound worklets', [], () => { delete window.AudioWorkletNode; }, 'sound worklets');
site.close();
console.log(`web: ${passed} passed, ${failed} failed`);
process.exit(failed ? 1 : 0);
