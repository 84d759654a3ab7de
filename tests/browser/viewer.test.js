// Drives the page of `nembra serve` in the system's headless Chromium: the page loads, frames
// arrive (the step shown rises), pause stops it, another quantity changes the picture, hovering
// shows a node's values, and a screenshot is saved and checked for content.
//
// node viewer.test.js <nembra program> <screenshot.png>
// Environment: CHROMIUM (default /usr/bin/chromium); puppeteer-core found through NODE_PATH.
'use strict';

const { spawn } = require('child_process');
const fs = require('fs');
const http = require('http');
const puppeteer = require('puppeteer-core');

const [program, screenshotPath] = process.argv.slice(2);
const chromium = process.env.CHROMIUM || '/usr/bin/chromium';
const WAIT = { timeout: 20000 };

function check(condition, what) {
  if (!condition) throw new Error(`failed: ${what}`);
  console.log(`ok: ${what}`);
}

// Starts the server on a free port and resolves with its address once it prints it.
function startServer() {
  const server = spawn(program, ['serve', '--port', '0', '--case', 'flat-plate'], {
    stdio: ['ignore', 'pipe', 'pipe'],
  });
  server.stderr.on('data', (d) => process.stderr.write(`[server] ${d}`));
  const address = new Promise((resolve, reject) => {
    let out = '';
    server.stdout.on('data', (d) => {
      out += d;
      const match = out.match(/(http:\/\/\S+\?token=[0-9a-f]+)/);
      if (match) resolve(match[1]);
    });
    server.on('exit', (code) => reject(new Error(`server exited early with ${code}`)));
  });
  return { server, address };
}

function getJson(url) {
  return new Promise((resolve, reject) => {
    http.get(url, (response) => {
      let body = '';
      response.on('data', (d) => { body += d; });
      response.on('end', () => resolve({ status: response.statusCode, body }));
    }).on('error', reject);
  });
}

const stepShown = (page) => page.$eval('#step', (e) => Number(e.textContent));
const fieldPixels = (page) => page.$eval('#field', (c) => c.toDataURL());

// Distinct colours in a PNG, counted by the browser itself.
function distinctColours(page, png) {
  return page.evaluate(async (data) => {
    const image = new Image();
    image.src = `data:image/png;base64,${data}`;
    await image.decode();
    const canvas = document.createElement('canvas');
    canvas.width = image.width;
    canvas.height = image.height;
    const ctx = canvas.getContext('2d');
    ctx.drawImage(image, 0, 0);
    const pixels = ctx.getImageData(0, 0, image.width, image.height).data;
    const seen = new Set();
    for (let k = 0; k < pixels.length; k += 4) {
      seen.add((pixels[k] << 16) | (pixels[k + 1] << 8) | pixels[k + 2]);
    }
    return { width: image.width, height: image.height, colours: seen.size };
  }, Buffer.from(png).toString('base64'));
}

async function main() {
  const { server, address } = startServer();
  let browser;
  try {
    const url = await address;
    console.log(`server at ${url.replace(/token=.*/, 'token=…')}`);
    const forbidden = await getJson(url.replace(/\?token=.*/, '/api/status'));
    check(forbidden.status === 403, 'a request without the token is refused with 403');

    const args = ['--headless=new', '--disable-gpu', '--disable-dev-shm-usage', '--no-first-run'];
    if (process.getuid && process.getuid() === 0) args.push('--no-sandbox');
    browser = await puppeteer.launch({ executablePath: chromium, args, headless: true });
    const page = await browser.newPage();
    await page.setViewport({ width: 1180, height: 800 });
    const pageErrors = [];
    page.on('pageerror', (e) => pageErrors.push(String(e)));
    await page.goto(url, { waitUntil: 'load' });
    await page.waitForFunction(() => document.getElementById('connection').textContent === 'live', WAIT);
    check(true, 'the page loads and its WebSocket opens');

    await page.waitForFunction(() => Number(document.getElementById('step').textContent) > 0, WAIT);
    const first = await stepShown(page);
    await page.waitForFunction((s) => Number(document.getElementById('step').textContent) > s, WAIT, first);
    check(true, `frames arrive: the step shown rises past ${first}`);

    await page.click('#run');
    await page.waitForFunction(() => document.getElementById('run').textContent === 'Run', WAIT);
    await new Promise((r) => setTimeout(r, 400));
    const paused = await stepShown(page);
    await new Promise((r) => setTimeout(r, 800));
    check(await stepShown(page) === paused, `pause stops the run at step ${paused}`);
    const status = JSON.parse((await getJson(url.replace('/?', '/api/status?'))).body);
    check(status.running === false && status.step === paused, 'GET /api/status agrees');

    const before = await fieldPixels(page);
    await page.select('#quantity', 'temperature');
    await page.waitForFunction((b) => document.getElementById('field').toDataURL() !== b, WAIT, before);
    check(true, 'choosing temperature changes the picture');

    const box = await (await page.$('#field')).boundingBox();
    await page.mouse.move(box.x + box.width * 0.6, box.y + box.height * 0.5);
    await page.waitForFunction(() => /temperature = [-0-9.e+]+ K/.test(document.getElementById('hover').textContent)
      && /density [-0-9.e+]+/.test(document.getElementById('hover').textContent), WAIT);
    const hover = await page.$eval('#hover', (e) => e.textContent);
    check(true, `hovering shows the node's values: ${hover.replace(/\n/g, ' | ')}`);

    await page.click('#run');
    await page.waitForFunction(() => document.getElementById('run').textContent === 'Pause', WAIT);
    await new Promise((r) => setTimeout(r, 1500));
    const png = await page.screenshot({ path: screenshotPath });
    const shot = await distinctColours(page, png);
    check(fs.statSync(screenshotPath).size > 10000 && shot.width === 1180 && shot.colours > 200,
      `screenshot saved to ${screenshotPath} (${shot.width} × ${shot.height}, ${shot.colours} colours)`);

    await page.select('#model', 'diffusion');
    await page.click('#apply');
    await page.waitForFunction(() => document.getElementById('model-name').textContent.startsWith('diffusion'), WAIT);
    await page.waitForFunction(() => Number(document.getElementById('step').textContent) > 10, WAIT);
    check(true, 'switching to the diffusion model from the page');

    check(pageErrors.length === 0, `no script errors on the page ${pageErrors.join('; ')}`);
  } finally {
    if (browser) await browser.close();
    const exited = new Promise((resolve) => server.on('exit', (code, signal) => resolve({ code, signal })));
    server.kill('SIGINT');
    const { code } = await exited;
    check(code === 0, 'Ctrl-C stops the server cleanly (exit status 0)');
  }
}

const deadline = setTimeout(() => { console.error('failed: took longer than 150 s'); process.exit(1); }, 150000);
main().then(() => { clearTimeout(deadline); console.log('all browser checks passed'); },
  (e) => { console.error(e.stack || String(e)); process.exit(1); });
