// Serving the show's page from 127.0.0.1 and driving it in Debian's
// Chromium, headless, with its software WebGL (SwiftShader): what the page
// checks (web_show_test.mjs) and the page's frame costs (web_frame_costs.mjs)
// share.
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import puppeteer from 'puppeteer-core';

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
// Returns the exit status.
export async function captureVirtualShow(browser, site, dir, query, timeoutMs = 240000) {
  site.reports.dir = dir;
  const page = await openPage(browser, `${site.origin}/?virtual_time=1&report=1&${query}`,
                              path.join(dir, 'console.txt'));
  await page.click('#no');
  await page.waitForFunction(() => invitationPage.status !== null, {timeout: timeoutMs, polling: 500});
  await page.evaluate(() => Promise.all(invitationPage.reports));
  const status = await page.evaluate(() => invitationPage.status);
  await page.close();
  return status;
}
