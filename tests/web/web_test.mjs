// The browser test: serves the web build's site on 127.0.0.1, opens it in
// Debian's headless chromium through the DevTools protocol (puppeteer-core),
// and checks what a person would see and do: the picture against the art the
// site was built from, Up lifting the first viking, Escape ending the run, a
// clean console. Also prints the frame rate, the time to the first frame and
// the download size, which it measures and never asserts.
//   node web_test.mjs SITE ART
// SITE is the built site (index.html, velmora.js, .wasm, .data); ART the
// directory velmora-artgen drew it from. CHROMIUM names the browser (default
// /usr/bin/chromium); VELMORA_WEB_SCREENSHOT, a PNG file to take the running
// page into. The last line is "N passed, N failed".
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import zlib from 'node:zlib';
import puppeteer from 'puppeteer-core';

const [site, art] = process.argv.slice(2);
if (!site || !art) {
  console.error('usage: node web_test.mjs SITE ART');
  process.exit(2);
}
const W = 1024;
const H = 768;
const TIMEOUT = 60000;

// A BMP as SDL_SaveBMP writes it (24 or 32 bits, uncompressed), read here
// rather than by the browser, whose decoder the page itself uses: RGB bytes,
// top row first.
function readBmp(file) {
  const b = fs.readFileSync(file);
  if (b.toString('latin1', 0, 2) !== 'BM') throw new Error(`${file}: not a BMP`);
  const offset = b.readUInt32LE(10);
  const w = b.readInt32LE(18);
  const h = b.readInt32LE(22);
  const bpp = b.readUInt16LE(28);
  if ((bpp !== 24 && bpp !== 32) || b.readUInt32LE(30) !== 0) throw new Error(`${file}: ${bpp}-bit or compressed`);
  const rows = Math.abs(h);
  const stride = Math.ceil((w * bpp) / 32) * 4;
  const rgb = new Uint8Array(w * rows * 3);
  for (let y = 0; y < rows; y++) {
    const row = offset + (h > 0 ? rows - 1 - y : y) * stride;
    for (let x = 0; x < w; x++) {
      const p = row + (x * bpp) / 8;
      rgb.set([b[p + 2], b[p + 1], b[p]], (y * w + x) * 3);
    }
  }
  return { w, h: rows, rgb };
}

// A sprite set's frames and key colour, as its info file lists them.
function readSet(dir) {
  const frames = [];
  let key = null;
  for (const line of fs.readFileSync(path.join(dir, 'info'), 'latin1').split('\n').slice(1)) {
    const [name, , r, g, b] = line.trim().split(/\s+/);
    if (!name || name.startsWith('#')) continue;
    frames.push(readBmp(path.join(dir, name)));
    key = [Number(r), Number(g), Number(b)];
  }
  return { frames, key };
}

const bg = readBmp(path.join(art, 'bg.bmp'));
const sunSet = readSet(path.join(art, 'includes/sun'));
const vikingSet = readSet(path.join(art, 'includes/vikings'));
// The scene's sprites at their starting places, in drawing order; the first
// viking's y changes with Up. Their boxes never overlap.
const sprites = [
  { name: 'sun', set: sunSet, x: 480, y: 50 },
  { name: 'first viking', set: vikingSet, x: 150, y: 300 },
  { name: 'second viking', set: vikingSet, x: 350, y: 300 },
];

// The background pixel at (x, y), black outside bg.bmp (the display starts black).
function bgPixel(x, y) {
  if (x >= bg.w || y >= bg.h) return [0, 0, 0];
  const i = (y * bg.w + x) * 3;
  return [bg.rgb[i], bg.rgb[i + 1], bg.rgb[i + 2]];
}

// Whether the picture's box at (x, y) is this frame keyed over the
// background: the frame's pixels where they are not the key, the background's
// where they are. Parts outside the canvas are not compared.
function frameFits(pic, frame, key, x, y) {
  for (let fy = 0; fy < frame.h; fy++) {
    const py = y + fy;
    if (py < 0 || py >= H) continue;
    for (let fx = 0; fx < frame.w; fx++) {
      const px = x + fx;
      if (px < 0 || px >= W) continue;
      const f = (fy * frame.w + fx) * 3;
      const keyed = frame.rgb[f] === key[0] && frame.rgb[f + 1] === key[1] && frame.rgb[f + 2] === key[2];
      const want = keyed ? bgPixel(px, py) : frame.rgb.subarray(f, f + 3);
      const p = (py * W + px) * 4;
      if (pic[p] !== want[0] || pic[p + 1] !== want[1] || pic[p + 2] !== want[2]) return false;
    }
  }
  return true;
}

const inBox = (s, x, y) =>
  x >= s.x && x < s.x + s.set.frames[0].w && y >= s.y && y < s.y + s.set.frames[0].h;

// Pixels outside every sprite's box that differ from the background: a count
// and the first one.
function backgroundMismatches(pic) {
  let count = 0;
  let first = null;
  for (let y = 0; y < H; y++) {
    for (let x = 0; x < W; x++) {
      if (sprites.some((s) => inBox(s, x, y))) continue;
      const p = (y * W + x) * 4;
      const want = bgPixel(x, y);
      if (pic[p] !== want[0] || pic[p + 1] !== want[1] || pic[p + 2] !== want[2]) {
        if (!first) first = `(${x}, ${y}) is ${[pic[p], pic[p + 1], pic[p + 2]]}, bg.bmp has ${want}`;
        count++;
      }
    }
  }
  return count ? `${count} pixels differ from bg.bmp, first ${first}` : null;
}

// The sprites whose box shows none of their frames keyed over the background.
function spriteMismatches(pic) {
  const wrong = sprites.filter((s) => !s.set.frames.some((f) => frameFits(pic, f, s.set.key, s.x, s.y)));
  return wrong.length ? `no frame fits the box of the ${wrong.map((s) => s.name).join(', ')}` : null;
}

function keyColourPixels(pic) {
  let count = 0;
  const keys = [sunSet.key, vikingSet.key];
  for (let p = 0; p < pic.length; p += 4)
    if (keys.some((k) => pic[p] === k[0] && pic[p + 1] === k[1] && pic[p + 2] === k[2])) count++;
  return count ? `${count} pixels of the key colour` : null;
}

// The canvas as the page shows it, RGBA; read between two frames, since the
// program yields to the browser only when it presents.
async function picture(page) {
  const data = await page.evaluate(() => {
    const c = document.getElementById('canvas');
    const bytes = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
    let s = '';
    for (let i = 0; i < bytes.length; i += 0x8000) s += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
    return btoa(s);
  });
  return new Uint8Array(Buffer.from(data, 'base64'));
}

async function waitFor(page, what, fn, ...args) {
  try {
    await page.waitForFunction(fn, { timeout: TIMEOUT, polling: 50 }, ...args);
  } catch (e) {
    throw new Error(`timed out waiting for ${what}`);
  }
}
const frames = (page) => page.evaluate(() => velmora.frames);

// Serves the site as `make web-run` does, on a free port of 127.0.0.1.
function serve(dir) {
  const server = spawn('python3', ['-u', '-m', 'http.server', '0', '--bind', '127.0.0.1', '--directory', dir], {
    stdio: ['ignore', 'pipe', 'ignore'],
  });
  return new Promise((resolve, reject) => {
    let out = '';
    server.stdout.on('data', (d) => {
      out += d;
      const m = out.match(/port (\d+)/);
      if (m) resolve({ server, url: `http://127.0.0.1:${m[1]}/` });
    });
    server.on('exit', (code) => reject(new Error(`the web server ended (status ${code}): ${out}`)));
  });
}

const consoleProblems = [];
const checks = [
  {
    name: 'the page shows the 1024x768 canvas with the keyboard focus and names the keys',
    run: async (page) => {
      const s = await page.evaluate(() => ({
        size: [canvas.width, canvas.height, canvas.clientWidth, canvas.clientHeight].join('x'),
        focused: document.activeElement === canvas,
        outline: getComputedStyle(canvas).outlineStyle,
        text: document.body.innerText,
      }));
      if (s.size !== '1024x768x1024x768') return `canvas size ${s.size}`;
      if (!s.focused) return 'the canvas has no keyboard focus';
      if (s.outline !== 'none') return `a ${s.outline} focus ring over the picture`;
      if (!/Up/.test(s.text) || !/Esc/.test(s.text)) return 'the keys are not named';
      return null;
    },
  },
  { name: 'outside the sprites the picture equals bg.bmp', run: async (page) => backgroundMismatches(await picture(page)) },
  {
    name: 'each sprite box is one of its frames keyed over the background',
    run: async (page) => spriteMismatches(await picture(page)),
  },
  { name: 'no key-colour pixel anywhere', run: async (page) => keyColourPixels(await picture(page)) },
  {
    name: 'the sprites animate',
    run: async (page) => {
      const seen = new Set();
      for (let i = 0; i < 20 && seen.size < 2; i++) {
        const pic = await picture(page);
        const shown = vikingSet.frames.findIndex((f) => frameFits(pic, f, vikingSet.key, 350, 300));
        if (shown < 0) return 'the second viking shows none of its frames';
        seen.add(shown);
        await waitFor(page, 'a few frames', (n) => velmora.frames > n + 5, await frames(page));
      }
      return seen.size >= 2 ? null : 'the second viking shows one frame only';
    },
  },
  {
    name: 'Up held lifts the first viking, and only it',
    run: async (page) => {
      await page.keyboard.down('ArrowUp');
      await waitFor(page, 'frames with Up held', (n) => velmora.frames > n + 30, await frames(page));
      await page.keyboard.up('ArrowUp');
      const pic = await picture(page);
      const viking = sprites[1];
      for (let y = 299; y > -viking.set.frames[0].h; y--) {
        if (viking.set.frames.some((f) => frameFits(pic, f, viking.set.key, viking.x, y))) {
          viking.y = y;
          return backgroundMismatches(pic) || spriteMismatches(pic);
        }
      }
      return 'the first viking is nowhere above its place';
    },
  },
  {
    name: 'Escape ends the loop, and the page says "ended"',
    run: async (page) => {
      await page.keyboard.press('Escape');
      await waitFor(page, 'the end of the run', () => velmora.state === 'ended');
      const ended = await page.evaluate(() => [velmora.frames, document.getElementById('status').textContent]);
      await page.evaluate(() => new Promise((r) => setTimeout(r, 300)));
      const after = await frames(page);
      if (ended[1] !== 'ended') return `the page says "${ended[1]}"`;
      return after === ended[0] ? null : `${after - ended[0]} frames drawn after the end`;
    },
  },
  { name: 'the console stays clean', run: async () => (consoleProblems.length ? consoleProblems.join('; ') : null) },
];

async function main() {
  const { server, url } = await serve(site);
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'velmora-chromium-'));
  // Root needs --no-sandbox; the rest keep a headless chromium off the network.
  const browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    userDataDir: profile,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
           '--disable-component-update', '--disable-sync', '--window-size=1400,900'],
    timeout: TIMEOUT,
  });
  let failed = 0;
  try {
    const page = await browser.newPage();
    await page.setViewport({ width: 1400, height: 850 });
    // Errors fail the run; warnings, such as Emscripten's own notes, are shown.
    page.on('console', (m) => {
      if (m.type() === 'error') consoleProblems.push(`error: ${m.text()}`);
      if (m.type() === 'warn') console.log(`note: the console warned: ${m.text()}`);
    });
    page.on('pageerror', (e) => consoleProblems.push(`page error: ${e.message}`));
    page.on('requestfailed', (r) => consoleProblems.push(`failed request: ${r.url()}`));
    await page.goto(url, { timeout: TIMEOUT });
    await waitFor(page, 'the first frame', () => velmora.frames > 0);

    // Measured: the time from the start of the page's load to its first frame,
    // the frame rate over two seconds, and the site's size.
    const firstFrame = await page.evaluate(() => velmora.firstFrame);
    const start = await page.evaluate(() => [velmora.frames, performance.now()]);
    await page.evaluate(() => new Promise((r) => setTimeout(r, 2000)));
    const end = await page.evaluate(() => [velmora.frames, performance.now()]);
    const fps = ((end[0] - start[0]) * 1000) / (end[1] - start[1]);
    const sizes = ['index.html', 'velmora.js', 'velmora.wasm', 'velmora.data'].map((f) => {
      const bytes = fs.readFileSync(path.join(site, f));
      return `${f} ${bytes.length} (gzipped ${zlib.gzipSync(bytes, { level: 9 }).length})`;
    });
    console.log(`measured: first frame ${firstFrame.toFixed(0)} ms after the page's start, ${fps.toFixed(1)} frames/s`);
    console.log(`measured: bytes ${sizes.join(', ')}`);

    // The page as a person sees it while the demo runs, for the README.
    if (process.env.VELMORA_WEB_SCREENSHOT) {
      await page.screenshot({ path: process.env.VELMORA_WEB_SCREENSHOT, clip: { x: 0, y: 0, width: 1300, height: 800 } });
    }

    for (const check of checks) {
      let problem;
      try {
        problem = await check.run(page);
      } catch (e) {
        problem = e.message;
      }
      console.log(`${problem ? 'FAIL' : 'ok'}: ${check.name}${problem ? `: ${problem}` : ''}`);
      if (problem) failed++;
    }
  } finally {
    await browser.close();
    server.kill();
    fs.rmSync(profile, { recursive: true, force: true });
  }
  console.log(`${checks.length - failed} passed, ${failed} failed`);
  process.exit(failed ? 1 : 0);
}

main().catch((e) => {
  console.error(`web test: ${e.message}`);
  console.log(`0 passed, ${checks.length} failed`);
  process.exit(1);
});
