// Serving the show's page from 127.0.0.1 and driving it in Debian's
// Chromium, headless, with its software WebGL (SwiftShader), or in Firefox
// ESR under a virtual X server: what the page's checks (web_show_test.mjs,
// web_firefox_test.mjs) and its frame costs (web_frame_costs.mjs) share.
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import {spawn, spawnSync} from 'node:child_process';
import {fileURLToPath} from 'node:url';
import puppeteer from 'puppeteer-core';
import zlib from 'node:zlib';

const references = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../e2e/reference');
// Most pictures are held by the desktop's own rule (picture_check: at most 3
// pixels of the 320×240 reduction off by more than 8 of 255); 35 of the 55
// reference moments are even identical in Chromium. Where WebGL rasterises
// apart from the desktop's Mesa (SwiftShader in Chromium; in Firefox, Mesa's
// llvmpipe differs only at the noise fan and the line storm), the moments
// below are held by their 8×8-pixel block means instead,
// within 40 of 255: there single pixels differ, by up to 128 at the edges of
// the perspective flights, 54 in the noise fan's texture sampling, 60 on the
// line storm's one-pixel lines, 37 in the noise layers and 64 at the spinning
// ring's edges, while their block means stay within 32. A glyph-sized shape
// (a block letter is 22×22 pixels) or a colour fault (lighting's ambient
// alone is 51) still goes past 40.
const RASTER_DIFFERS = {
  10700: 'flight', 10930: 'flight', 30350: 'flight', 33724: 'flight', 74807: 'flight', 78700: 'flight',
  25676: 'noise fan', 45298: 'noise fan', 27899: 'noise layers', 39780: 'noise layers', 44225: 'noise layers',
  47520: 'noise layers', 53000: 'spinning ring', 58864: 'spinning ring', 65000: 'spinning ring', 55000: 'line storm',
};
const BLOCK_TOLERANCE = 40;

const types = {'.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm', '.png': 'image/png'};

// Serves site; a POST to /report/NAME (the page opened with report=1) is
// written to reports.dir/NAME. Returns {origin, reports, served, missing,
// close}: the paths served, and those asked for and not found. The port is
// WEB_TEST_PORT's when set (machines that hand out ports), else any free one.
export async function serveSite(site, port = Number(process.env.WEB_TEST_PORT || 0)) {
  const reports = {dir: null};
  const served = [], missing = [];
  const server = http.createServer((request, response) => {
    const url = decodeURIComponent(request.url.split('?')[0]);
    if (request.method === 'POST' && url.startsWith('/report/') && reports.dir) {
      const parts = [];
      request.on('data', (part) => parts.push(part));
      request.on('end', () => {
        fs.writeFileSync(path.join(reports.dir, path.basename(url)), Buffer.concat(parts));
        response.end();
      });
      return;
    }
    const file = path.join(site, url === '/' ? 'index.html' : path.normalize(url));
    if (!file.startsWith(site) || !fs.existsSync(file) || !fs.statSync(file).isFile()) {
      missing.push(url);
      response.writeHead(404);
      response.end();
      return;
    }
    served.push(url);
    response.writeHead(200, {'Content-Type': types[path.extname(file)] || 'application/octet-stream'});
    response.end(fs.readFileSync(file));
  });
  await new Promise((resolve) => server.listen(port, '127.0.0.1', resolve));
  return {origin: `http://127.0.0.1:${server.address().port}`, reports, served, missing, close: () => server.close()};
}

// Chromium with the given extra command-line switches.
export function launchChromium(extraArgs = []) {
  return puppeteer.launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    pipe: true,  // driven over a pipe: no debugging port opened
    protocolTimeout: 300000,
    args: ['--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--disable-background-networking',
           '--disable-component-update', '--no-first-run', '--disable-sync', '--window-size=800,600', ...extraArgs],
  });
}

// Firefox ESR, not headless (headless it has no WebGL here; under a virtual
// X server it has WebGL 2 on Mesa's llvmpipe), driven over WebDriver BiDi.
// Its AudioContext never starts without a sound server: env may name one
// (PULSE_SERVER).
export function launchFirefox(env = process.env) {
  return puppeteer.launch({
    browser: 'firefox',
    executablePath: '/usr/bin/firefox-esr',
    headless: false,
    protocolTimeout: 300000,
    args: ['--width=1024', '--height=768'],
    env,
  });
}

// A PulseAudio server of this process's own, with a silent sink, on a socket
// in dir: Firefox starts no AudioContext without a sound server. Returns
// {env, stop}: the environment that names it, and the way to end it.
export async function startSoundServer(dir) {
  const socket = path.join(dir, 'pulse');
  const server = spawn('pulseaudio', ['-n', '--daemonize=no', '--exit-idle-time=-1', '--use-pid-file=no', '--disable-shm=yes',
                                      '-L', `module-native-protocol-unix socket=${socket} auth-anonymous=1`,
                                      '-L', 'module-null-sink sink_name=silent'],
                       {stdio: ['ignore', 'ignore', fs.openSync(path.join(dir, 'pulseaudio.log'), 'w')]});
  server.on('error', (error) => console.error(`no sound server: ${error.message}`));
  for (const start = Date.now(); !fs.existsSync(socket) && Date.now() - start < 10000;)
    await new Promise((resolve) => setTimeout(resolve, 100));
  return {env: {...process.env, PULSE_SERVER: `unix:${socket}`}, stop: () => server.kill()};
}

// A fresh page at origin/query, its console kept in consoleFile, once it
// asks the question; viewport adds to the 800x600 one (hasTouch: true).
export async function openPage(browser, url, consoleFile, viewport = {}) {
  const page = await browser.newPage();
  await page.setViewport({width: 800, height: 600, ...viewport});
  const log = fs.createWriteStream(consoleFile);
  page.on('console', (message) => log.write(`${message.type()}: ${message.text()}\n`));
  page.on('pageerror', (error) => log.write(`pageerror: ${error.message}\n`));
  await page.goto(url);
  await page.waitForSelector('#question:not([hidden])', {timeout: 30000});
  return page;
}

// Answers No in virtual time with report=1 and the extra query, waits (at
// most timeoutMs) for the show's end and for every report to arrive in dir.
// Returns the exit status. The viewport is 640x480 at one device pixel a
// CSS pixel unless given.
export async function captureVirtualShow(browser, site, dir, query, timeoutMs = 240000,
                                         viewport = {width: 640, height: 480}) {
  site.reports.dir = dir;
  const page = await openPage(browser, `${site.origin}/?virtual_time=1&report=1&${query}`,
                              path.join(dir, 'console.txt'), viewport);
  await page.click('#no');
  await page.waitForFunction(() => invitationPage.status !== null, {timeout: timeoutMs, polling: 500});
  await page.evaluate(() => Promise.all(invitationPage.reports));
  const status = await page.evaluate(() => invitationPage.status);
  await page.close();
  return status;
}

// RGBA rows of a non-interlaced 8-bit RGB or RGBA PNG.
export function readPng(png) {
  let at = 8, width = 0, height = 0, channels = 3;
  const data = [];
  while (at < png.length) {
    const length = png.readUInt32BE(at), type = png.toString('ascii', at + 4, at + 8);
    const body = png.subarray(at + 8, at + 8 + length);
    if (type === 'IHDR') {
      width = body.readUInt32BE(0);
      height = body.readUInt32BE(4);
      channels = body[9] === 6 ? 4 : 3;
    } else if (type === 'IDAT') {
      data.push(body);
    }
    at += length + 12;
  }
  const raw = zlib.inflateSync(Buffer.concat(data)), stride = width * channels;
  const out = Buffer.alloc(width * height * 4);
  let previous = Buffer.alloc(stride);
  for (let y = 0; y < height; ++y) {
    const filter = raw[y * (stride + 1)], line = Buffer.from(raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1)));
    for (let i = 0; i < stride; ++i) {
      const a = i >= channels ? line[i - channels] : 0, b = previous[i], c = i >= channels ? previous[i - channels] : 0;
      const p = a + b - c, pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
      const predictor = [0, a, b, (a + b) >> 1, pa <= pb && pa <= pc ? a : pb <= pc ? b : c][filter];
      line[i] = (line[i] + predictor) & 255;
    }
    for (let x = 0; x < width; ++x)
      for (let k = 0; k < 4; ++k)
        out[(y * width + x) * 4 + k] = k < channels ? line[x * channels + k] : 255;
    previous = line;
  }
  return {width, height, rgba: out};
}

// What the canvas shows now: the loading bar, a show picture, black, or other.
export async function canvasShows(page) {
  const canvas = await page.$('#canvas');
  if (!(await canvas.isVisible()))
    return 'hidden';
  const shot = readPng(Buffer.from(await canvas.screenshot({type: 'png'})));
  // Places given on the 640x480 picture, wherever the page has scaled it to.
  const at = (x, y) => {
    const offset = (Math.floor(y * shot.height / 480) * shot.width + Math.floor(x * shot.width / 640)) * 4;
    return Array.from(shot.rgba.subarray(offset, offset + 3));
  };
  const near = (rgb, want) => rgb.every((v, k) => Math.abs(v - want[k]) <= 24);
  // The bar starts at the left, 200..280 from the top, in (0.5, 0, 0).
  const bar = at(4, 240);
  if (bar[0] >= 24 && bar[1] < 16 && bar[2] < 16 && near(at(4, 100), [0, 0, 0]))
    return 'loading';
  // The first scene faces the picture: light blue sky over green ground.
  if (near(at(40, 60), [128, 128, 255]) && near(at(40, 420), [51, 150, 1]))
    return 'show';
  // Black away from the middle, where "Watch again" sits over the canvas.
  return near(at(320, 120), [0, 0, 0]) && near(at(40, 60), [0, 0, 0]) ? 'black' : 'other';
}

// What the worklet played since the restart (the page opened with
// keep_played=1), as 16-bit stereo bytes, the context's rate and the
// worklet's count of render quanta it had to fill with silence.
export async function keptSound(page) {
  const sound = await page.evaluate(async () => {
    const kept = await invitationPage.sound.kept();
    let text = '';
    const bytes = new Uint8Array(kept.buffer);
    for (let i = 0; i < bytes.length; i += 32768)
      text += String.fromCharCode.apply(null, bytes.subarray(i, i + 32768));
    return {kept: btoa(text), rate: invitationPage.sound.context.sampleRate, underruns: invitationPage.sound.underruns};
  });
  return {played: Buffer.from(sound.kept, 'base64'), rate: sound.rate, underruns: sound.underruns};
}

// PNG, 8-bit RGB: written for picture_check, read from Chromium's screenshots.
const crcTable = Array.from({length: 256}, (_, n) => {
  let c = n;
  for (let k = 0; k < 8; ++k)
    c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
  return c >>> 0;
});
function crc32(bytes) {
  let c = 0xffffffff;
  for (const b of bytes)
    c = crcTable[(c ^ b) & 255] ^ (c >>> 8);
  return (c ^ 0xffffffff) >>> 0;
}
export function writePng(file, rgb, width, height) {
  const chunk = (type, data) => {
    const body = Buffer.concat([Buffer.from(type), data]);
    const out = Buffer.alloc(body.length + 8);
    out.writeUInt32BE(data.length, 0);
    body.copy(out, 4);
    out.writeUInt32BE(crc32(body), body.length + 4);
    return out;
  };
  const header = Buffer.alloc(13);
  header.writeUInt32BE(width, 0);
  header.writeUInt32BE(height, 4);
  header.set([8, 2, 0, 0, 0], 8);
  const raw = Buffer.alloc((width * 3 + 1) * height);
  for (let y = 0; y < height; ++y)
    rgb.copy(raw, y * (width * 3 + 1) + 1, y * width * 3, (y + 1) * width * 3);
  fs.writeFileSync(file, Buffer.concat([Buffer.from([137, 80, 78, 71, 13, 10, 26, 10]), chunk('IHDR', header),
                                        chunk('IDAT', zlib.deflateSync(raw)), chunk('IEND', Buffer.alloc(0))]));
}

// The whole show answering No in virtual time, with pictures at the
// reference moments: its log of order/row per frame against the desktop
// capture's, its pictures against tests/e2e/reference. Three checks, told to
// check(name, ok, detail); the files go to work/virtual and work/failed.
export async function checkVirtualShow(check, browser, site, nativeBin, desktopLog, work) {
  try {
    const moments = fs.readdirSync(references).map((f) => Number(f.match(/^frame_(\d+)\.png$/)[1])).sort((a, b) => a - b);
    const reportDir = path.join(work, 'virtual');
    fs.mkdirSync(reportDir);
    const status = await captureVirtualShow(browser, site, reportDir, `at=${moments.join(',')}`);
    const log = fs.existsSync(path.join(reportDir, 'show.log')) ? fs.readFileSync(path.join(reportDir, 'show.log'), 'utf8') : '';
    const expected = fs.existsSync(desktopLog) ? fs.readFileSync(desktopLog, 'utf8') : null;
    const lines = log.split('\n').filter(Boolean).length;
    check('it ends by itself, its log of order/row per frame the desktop capture\'s',
          status === 0 && expected !== null && log === expected,
          expected === null ? `no desktop log at ${desktopLog} (run the capture test first)` : `status ${status}, ${lines} frames`);
    const names = [];
    for (const at of moments) {
      const raw = path.join(reportDir, `frame_${at}.rgb`);
      if (fs.existsSync(raw)) {
        writePng(path.join(reportDir, `frame_${at}.png`), fs.readFileSync(raw), 640, 480);
        fs.rmSync(raw);
      }
      names.push(`frame_${at}.png`);
    }
    const compare = (options, group) => spawnSync(path.join(nativeBin, 'picture_check'),
      ['compare', ...options, references, reportDir, path.join(work, 'failed'), ...group], {encoding: 'utf8'});
    const loose = names.filter((name) => RASTER_DIFFERS[name.match(/\d+/)[0]]);
    const exact = compare([], names.filter((name) => !loose.includes(name)));
    const blocks = compare(['--blocks', String(BLOCK_TOLERANCE)], loose);
    const summary = (run) => run.stdout.trim().split('\n').slice(-3).join('; ');
    check(`its pictures at ${names.length - loose.length} moments match the references`, exact.status === 0, summary(exact));
    check(`its pictures at ${loose.length} moments match them block by block`, blocks.status === 0, summary(blocks));
  } catch (error) {
    check('the virtual-time run went through', false, error.message.split('\n')[0]);
  }
}
