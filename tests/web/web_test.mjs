// The browser test: serves the web build's site on 127.0.0.1, opens it in
// Debian's headless Chromium and Firefox ESR through puppeteer-core (the
// DevTools protocol and WebDriver BiDi), and checks what a person would see
// and do. In each browser: the picture against the art the site was built
// from, Up lifting the first viking, Escape ending the run, a clean console,
// and a table of desktop windows, resized in place: the picture whole, 4:3
// and large, nothing scrolls, the panel in view. In Chromium also touch
// devices, tablets and phones turned in place: the same, with the touch
// controls in view, lifting the viking and ending the run. Also prints the
// frame rate, the time to the first frame and the download size, which it
// measures and never asserts.
//   node web_test.mjs SITE ART
// SITE is the built site (index.html, velmora.js, .wasm, .data, the icons); ART
// the directory velmora-artgen drew it from. CHROMIUM and FIREFOX name the
// browsers (default /usr/bin/chromium and /usr/bin/firefox-esr; an empty or
// missing one is skipped, saying so); VELMORA_WEB_SCREENSHOT, a PNG file to
// take the running page into; VELMORA_WEB_SHOTS, a directory for a PNG of the
// page at each size of the table in each browser (chromium-390x844.png). The
// last line is "N passed, N failed".
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
// The scene's sprites at their starting places, in drawing order, for a new
// run of the program; the first viking's y follows it up. Their boxes never overlap.
const startingScene = () => [
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
function backgroundMismatches(pic, sprites) {
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
function spriteMismatches(pic, sprites) {
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

// The canvas's own pixels, RGBA, whatever size the page shows it at; read
// between two frames, since the program yields to the browser only when it presents.
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
const afterFrames = async (page, n) =>
  waitFor(page, `${n} frames`, (since, n) => velmora.frames >= since + n, await frames(page), n);

// Where the first viking is now, at or above where it was, with the rest of
// the picture checked as it stands: the new y, or a problem.
async function findFirstViking(page, run) {
  const pic = await picture(page);
  const viking = run.sprites[1];
  for (let y = viking.y; y > -viking.set.frames[0].h; y--) {
    if (viking.set.frames.some((f) => frameFits(pic, f, viking.set.key, viking.x, y))) {
      viking.y = y;
      return { y, problem: backgroundMismatches(pic, run.sprites) || spriteMismatches(pic, run.sprites) };
    }
  }
  return { problem: `the first viking is nowhere at or above y ${viking.y}` };
}

// The run ends, the page says so, and no frame follows.
async function endsCleanly(page) {
  await waitFor(page, 'the end of the run', () => velmora.state === 'ended');
  const ended = await page.evaluate(() => [velmora.frames, document.getElementById('status').textContent]);
  await page.evaluate(() => new Promise((r) => setTimeout(r, 300)));
  const after = await frames(page);
  if (ended[1] !== 'ended') return `the page says "${ended[1]}"`;
  return after === ended[0] ? null : `${after - ended[0]} frames drawn after the end`;
}

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

// A page of the site in a window of the given size, running: its console's
// errors, failed requests and uncaught exceptions are collected in `problems`.
async function openPage(engine, browser, url, view) {
  const page = await browser.newPage();
  const run = { engine: engine.name, page, problems: [], sprites: startingScene() };
  // Errors fail the run; warnings, such as Emscripten's own notes, are shown.
  page.on('console', (m) => {
    if (m.type() === 'error') run.problems.push(`error: ${m.text()}`);
    if (m.type() === 'warn') console.log(`note: the console warned: ${m.text()}`);
  });
  page.on('pageerror', (e) => run.problems.push(`page error: ${e.message}`));
  page.on('requestfailed', (r) => run.problems.push(`failed request: ${r.url()}`));
  page.on('response', (r) => {
    if (r.status() >= 400) run.problems.push(`${r.status()} for ${r.url()}`);
  });
  await page.setViewport(view);
  await page.goto(url, { timeout: TIMEOUT });
  await waitFor(page, 'the first frame', () => velmora.frames > 0);
  return run;
}

// The checks on the page as a desktop shows it, in every browser.
const desktopChecks = [
  {
    name: 'the page shows the 1024x768 canvas at 4:3 with the keyboard focus and names the keys',
    run: async ({ page }) => {
      const s = await page.evaluate(() => ({
        backing: [canvas.width, canvas.height].join('x'),
        shown: [canvas.clientWidth, canvas.clientHeight],
        focused: document.activeElement === canvas,
        outline: getComputedStyle(canvas).outlineStyle,
        text: document.querySelector('aside').innerText,
        title: document.title,
      }));
      if (s.backing !== '1024x768') return `the canvas has ${s.backing} pixels`;
      if (Math.abs(s.shown[0] * 3 - s.shown[1] * 4) > 4) return `the canvas is shown at ${s.shown.join('x')}`;
      if (!s.focused) return 'the canvas has no keyboard focus';
      if (s.outline !== 'none') return `a ${s.outline} focus ring over the picture`;
      if (!/Up/.test(s.text) || !/Esc/.test(s.text)) return 'the keys are not named';
      if (/▲/.test(s.text)) return 'the touch controls are named on a page without touch';
      if (s.title !== 'Velmora') return `the title is "${s.title}"`;
      return null;
    },
  },
  {
    name: 'outside the sprites the picture equals bg.bmp',
    run: async (run) => backgroundMismatches(await picture(run.page), run.sprites),
  },
  {
    name: 'each sprite box is one of its frames keyed over the background',
    run: async (run) => spriteMismatches(await picture(run.page), run.sprites),
  },
  { name: 'no key-colour pixel anywhere', run: async ({ page }) => keyColourPixels(await picture(page)) },
  {
    name: 'the sprites animate',
    run: async ({ page }) => {
      const seen = new Set();
      for (let i = 0; i < 20 && seen.size < 2; i++) {
        const pic = await picture(page);
        const shown = vikingSet.frames.findIndex((f) => frameFits(pic, f, vikingSet.key, 350, 300));
        if (shown < 0) return 'the second viking shows none of its frames';
        seen.add(shown);
        await afterFrames(page, 6);
      }
      return seen.size >= 2 ? null : 'the second viking shows one frame only';
    },
  },
  {
    name: 'Up held lifts the first viking, and only it',
    run: async (run) => {
      await run.page.keyboard.down('ArrowUp');
      await afterFrames(run.page, 31);
      await run.page.keyboard.up('ArrowUp');
      const { y, problem } = await findFirstViking(run.page, run);
      return problem || (y < 300 ? null : 'the first viking stayed at y 300');
    },
  },
  {
    name: 'Escape ends the loop, and the page says "ended"',
    run: async ({ page }) => {
      await page.keyboard.press('Escape');
      return endsCleanly(page);
    },
  },
  {
    name: 'the icons the page names are PNGs of their stated sizes',
    run: async ({ page }) => {
      const icons = await page.evaluate(() =>
        Promise.all(
          [...document.querySelectorAll('link[rel~="icon"], link[rel="apple-touch-icon"]')].map(async (link) => {
            const response = await fetch(link.href);
            const type = response.headers.get('content-type');
            if (!response.ok || type !== 'image/png') return `${link.href}: ${response.status} ${type}`;
            const image = await createImageBitmap(await response.blob());
            const size = `${image.width}x${image.height}`;
            return !link.sizes.value || link.sizes.value === size ? null : `${link.href} is ${size}, not ${link.sizes.value}`;
          }),
        ).then((found) => [found.length, found.filter(Boolean)]),
      );
      if (icons[0] === 0) return 'the page names no icon';
      return icons[1].length ? icons[1].join('; ') : null;
    },
  },
  { name: 'the console stays clean', run: async ({ problems }) => (problems.length ? problems.join('; ') : null) },
];

// The windows and devices the page must fit: laptops' windows as their
// browsers leave them, a narrow desktop window, a 4K monitor, and touch
// devices at their CSS size and pixel ratio. Each group runs in one page,
// resized (or turned) from row to row. `sharp`: where the picture should
// shrink a little to show every pixel as a whole number of device pixels.
const desktops = [
  { name: 'a 1366x768 laptop less its browser bars', width: 1366, height: 657 },
  { name: 'a 1280x720 window', width: 1280, height: 720 },
  { name: 'a 1280x1024 monitor less its browser bars', width: 1280, height: 929, sharp: true },
  { name: 'a squarish window', width: 1000, height: 850 },
  { name: 'a narrow desktop window', width: 390, height: 700 },
  { name: 'a 4K monitor', width: 3840, height: 2160 },
];
const touchDevices = [
  { name: 'a tablet, portrait', width: 768, height: 1024, deviceScaleFactor: 2 },
  { name: 'the tablet turned to landscape', width: 1024, height: 768, deviceScaleFactor: 2 },
  { name: 'a phone, portrait', width: 390, height: 844, deviceScaleFactor: 3, sharp: true },
  { name: 'the phone turned to landscape', width: 844, height: 390, deviceScaleFactor: 3 },
  { name: 'a small phone, 320 wide', width: 320, height: 568, deviceScaleFactor: 2 },
].map((d) => ({ ...d, isMobile: true, hasTouch: true }));
// The picture's least width, as a share of the widest 4:3 box that fits in
// the room the panel leaves, and of the widest that fits in the window.
const FILL_ROOM = 0.85;
const FILL_WINDOW = 0.75;

// Where the page put its parts, in CSS pixels of the layout viewport.
function layout() {
  const box = (el) => {
    const r = el.getBoundingClientRect();
    return { left: r.left, top: r.top, right: r.right, bottom: r.bottom, width: r.width, height: r.height };
  };
  const shown = (el) => el.getClientRects().length > 0 && getComputedStyle(el).visibility !== 'hidden';
  return {
    view: [innerWidth, innerHeight],
    scroll: [document.documentElement.scrollWidth, document.documentElement.scrollHeight],
    backing: [canvas.width, canvas.height],
    canvas: box(canvas),
    rendering: getComputedStyle(canvas).imageRendering,
    ratio: devicePixelRatio,
    aside: box(document.querySelector('aside')),
    panel: [...document.querySelectorAll('aside > *')].filter(shown).map((el) => ({ what: el.id || el.localName, ...box(el) })),
    controls: [...document.querySelectorAll('#controls button')].map((b) => ({
      what: b.id, label: b.getAttribute('aria-label') || '', shown: shown(b), ...box(b),
    })),
    text: document.querySelector('aside').innerText,
  };
}

// The widest 4:3 boxes that fit in the window, and in the room that the panel
// leaves beside or below the picture.
function widest(l) {
  const [w, h] = l.view;
  const c = l.canvas;
  const a = l.aside;
  const beside = a.left >= c.right - 0.5;
  const roomW = beside ? w - a.width - (a.left - c.right) : w;
  const roomH = beside ? h : h - a.height - (a.top - c.bottom);
  return { room: Math.min(roomW, (roomH * 4) / 3), window: Math.min(w, (h * 4) / 3) };
}

const inside = (b, [w, h]) => b.left >= -0.5 && b.top >= -0.5 && b.right <= w + 0.5 && b.bottom <= h + 0.5;
const overlap = (a, b) => a.left < b.right - 0.5 && b.left < a.right - 0.5 && a.top < b.bottom - 0.5 && b.top < a.bottom - 0.5;

// What is wrong with the page's layout at this row of the table.
function fitProblems(view, l) {
  const problems = [];
  const size = `${view.width}x${view.height}`;
  const c = l.canvas;
  if (l.view.join('x') !== size) problems.push(`laid out at ${l.view.join('x')}, not the device's width`);
  if (l.scroll[0] > l.view[0] || l.scroll[1] > l.view[1]) problems.push(`the page scrolls (${l.scroll.join('x')})`);
  if (l.backing.join('x') !== '1024x768') problems.push(`the canvas has ${l.backing.join('x')} pixels`);
  if (!inside(c, l.view)) problems.push(`the picture is cut off: ${c.width}x${c.height} at (${c.left}, ${c.top})`);
  if (Math.abs(c.width * 3 - c.height * 4) > 1) problems.push(`the picture is ${c.width}x${c.height}, not 4:3`);
  // Sharp pixels exactly where each canvas pixel is a whole number of device
  // pixels (to the half device pixel, across the picture's width), and there
  // where the table expects the picture to shrink to such a size.
  const scale = (c.width * l.ratio) / 1024;
  const whole = scale >= 0.5 && Math.abs(c.width * l.ratio - 1024 * Math.round(scale)) < 0.5;
  if (whole !== (l.rendering === 'pixelated'))
    problems.push(`image-rendering ${l.rendering} at ${scale.toFixed(3)} device pixels per pixel`);
  if (view.sharp && !whole) problems.push(`not a whole number of device pixels per pixel: ${scale.toFixed(3)}`);
  const { room, window } = widest(l);
  if (c.width < FILL_ROOM * room) problems.push(`the picture is ${c.width.toFixed(0)} wide, of the ${room.toFixed(0)} the panel leaves`);
  if (c.width < FILL_WINDOW * window) problems.push(`the picture is ${c.width.toFixed(0)} wide, of the ${window.toFixed(0)} the window has`);
  for (const p of l.panel) {
    if (!inside(p, l.view)) problems.push(`the panel's ${p.what} is out of view`);
    if (overlap(p, c)) problems.push(`the panel's ${p.what} covers the picture`);
  }
  const shown = l.controls.filter((b) => b.shown);
  if (view.hasTouch) {
    if (shown.length !== 2) problems.push(`${shown.length} touch controls shown`);
    for (const b of shown) {
      if (b.width < 44 || b.height < 44) problems.push(`the ${b.what} control is ${b.width}x${b.height}`);
      if (!b.label) problems.push(`the ${b.what} control has no label`);
      if (!inside(b, l.view) || !inside(b, [l.aside.right, l.aside.bottom]) || b.top < l.aside.top - 0.5)
        problems.push(`the ${b.what} control is out of view`);
    }
    if (!/hold ▲ to lift/i.test(l.text)) problems.push('the panel does not say "hold ▲ to lift"');
  } else {
    if (shown.length) problems.push(`touch controls shown without touch: ${shown.map((b) => b.what)}`);
    if (!/Up/.test(l.text) || !/Esc/.test(l.text)) problems.push('the keys are not named');
  }
  return problems.length ? problems.join('; ') : null;
}

// The page at a row of the table, once its layout has followed the change.
async function resizeTo(run, view) {
  await run.page.setViewport(view);
  await run.page.evaluate(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r))));
  const l = await run.page.evaluate(layout);
  const { room, window } = widest(l);
  const share = (w) => `${((100 * l.canvas.width) / w).toFixed(0)} %`;
  console.log(`measured: ${run.engine}: at ${view.width}x${view.height} the picture is ${l.canvas.width.toFixed(1)}x` +
              `${l.canvas.height.toFixed(1)}, ${share(room)} of the widest 4:3 box in the room the panel leaves, ${share(window)} of the window's`);
  if (process.env.VELMORA_WEB_SHOTS)
    await run.page.screenshot({ path: path.join(process.env.VELMORA_WEB_SHOTS, `${run.engine}-${view.width}x${view.height}.png`) });
  return fitProblems(view, l);
}

// The centre of a touch control, as a finger would find it.
async function controlAt(page, id) {
  const at = await page.evaluate((id) => {
    const control = document.getElementById(id);
    if (!control) return null;
    const r = control.getBoundingClientRect();
    return { x: r.left + r.width / 2, y: r.top + r.height / 2 };
  }, id);
  if (!at) throw new Error(`the page has no control '${id}'`);
  return at;
}

// ▲ held for a second (or 60 frames, whatever comes first, to keep the
// viking in view) lifts the first viking 20 pixels or more, and it stays
// where it is once the finger is lifted.
async function holdLifts(run) {
  const { page } = run;
  const from = run.sprites[1].y;
  const at = await controlAt(page, 'lift');
  await page.touchscreen.touchStart(at.x, at.y);
  const [t0, f0] = await page.evaluate(() => [performance.now(), velmora.frames]);
  await waitFor(page, 'a second of holding', (t0, f0) => performance.now() - t0 >= 1000 || velmora.frames >= f0 + 60, t0, f0);
  await page.touchscreen.touchEnd();
  const held = await page.evaluate((t0, f0) => [performance.now() - t0, velmora.frames - f0], t0, f0);
  const lifted = await findFirstViking(page, run);
  if (lifted.problem) return lifted.problem;
  console.log(`measured: ${run.engine}: ▲ held ${held[0].toFixed(0)} ms (${held[1]} frames) lifted the viking ${from - lifted.y} px`);
  if (from - lifted.y < 20) return `held for ${held[0].toFixed(0)} ms, the viking rose ${from - lifted.y} px`;
  await afterFrames(page, 10);
  const after = await findFirstViking(page, run);
  if (after.problem) return after.problem;
  return after.y === lifted.y ? null : `the viking rose on from y ${lifted.y} to ${after.y} after the finger was lifted`;
}

// The table: each row's layout, and the touch controls' work at some.
function fitChecks() {
  const checks = [];
  const fit = (view, group) => ({
    name: `at ${view.width}x${view.height}${view.hasTouch ? ' with touch' : ''}, ${view.name}, the picture fits`,
    group,
    run: (run) => resizeTo(run, view),
  });
  for (const view of desktops) checks.push(fit(view, 'desktop'));
  const [tablet, tabletTurned, phone, turned, small] = touchDevices;
  checks.push(fit(tablet, 'touch'), fit(tabletTurned, 'touch'));
  checks.push(fit(phone, 'touch'), { name: '▲ held on the phone lifts the first viking 20 px within a second', group: 'touch', run: holdLifts });
  checks.push(fit(turned, 'touch'), { name: '▲ held on the turned phone lifts it again', group: 'touch', run: holdLifts });
  checks.push(fit(small, 'touch'));
  checks.push({
    name: '✕ tapped ends the run, and the page says "ended"',
    group: 'touch',
    run: async ({ page }) => {
      const at = await controlAt(page, 'end');
      await page.touchscreen.tap(at.x, at.y);
      return endsCleanly(page);
    },
  });
  for (const group of ['desktop', 'touch'])
    checks.push({
      name: `the console stays clean in the ${group} table`,
      group,
      run: async ({ problems }) => (problems.length ? problems.join('; ') : null),
    });
  return checks;
}

// The browsers, each with its checks. Firefox is driven through WebDriver
// BiDi, with a home of its own beside its fresh profile.
function browsers() {
  const chromium = process.env.CHROMIUM || '/usr/bin/chromium';
  const firefox = process.env.FIREFOX ?? '/usr/bin/firefox-esr';
  return [
    {
      name: 'chromium',
      executable: chromium,
      // Root needs --no-sandbox; the rest keep a headless chromium off the network.
      launch: (profile) => ({
        browser: 'chrome',
        args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
               '--disable-component-update', '--disable-sync', '--window-size=1400,900'],
      }),
      checks: [...desktopChecks, ...fitChecks()],
      screenshot: true,
    },
    {
      name: 'firefox',
      executable: firefox,
      launch: (profile) => ({ browser: 'firefox', env: { ...process.env, HOME: profile } }),
      // Its BiDi driver emulates no touch screen: the desktops' table only.
      checks: [...desktopChecks, ...fitChecks().filter((c) => c.group === 'desktop')],
    },
  ];
}

let passed = 0;
let failed = 0;
let skipped = 0;

function report(engine, name, problem) {
  console.log(`${problem ? 'FAIL' : 'ok'}: ${engine}: ${name}${problem ? `: ${problem}` : ''}`);
  if (problem) failed++;
  else passed++;
}

async function runChecks(engine, run, checks) {
  for (const check of checks) {
    let problem;
    try {
      problem = await check.run(run);
    } catch (e) {
      problem = e.message;
    }
    report(engine.name, check.name, problem);
  }
}

async function runBrowser(engine, url) {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), `velmora-${engine.name}-`));
  let browser;
  try {
    browser = await puppeteer.launch({
      executablePath: engine.executable,
      headless: true,
      userDataDir: profile,
      timeout: TIMEOUT,
      ...engine.launch(profile),
    });
    console.log(`note: ${engine.name}: ${await browser.version()}`);
    const desktop = await openPage(engine, browser, url, { width: 1400, height: 850 });
    const { page } = desktop;

    // Measured: the time from the start of the page's load to its first frame,
    // the frame rate over two seconds, and the site's size.
    const firstFrame = await page.evaluate(() => velmora.firstFrame);
    const start = await page.evaluate(() => [velmora.frames, performance.now()]);
    await page.evaluate(() => new Promise((r) => setTimeout(r, 2000)));
    const end = await page.evaluate(() => [velmora.frames, performance.now()]);
    const fps = ((end[0] - start[0]) * 1000) / (end[1] - start[1]);
    console.log(`measured: ${engine.name}: first frame ${firstFrame.toFixed(0)} ms after the page's start, ${fps.toFixed(1)} frames/s`);

    // The page as a person sees it while the demo runs, for the README.
    if (engine.screenshot && process.env.VELMORA_WEB_SCREENSHOT) {
      await page.screenshot({ path: process.env.VELMORA_WEB_SCREENSHOT });
    }

    await runChecks(engine, desktop, engine.checks.filter((c) => !c.group));
    await page.close();
    for (const group of ['desktop', 'touch']) {
      const checks = engine.checks.filter((c) => c.group === group);
      if (!checks.length) continue;
      const first = group === 'desktop' ? desktops[0] : touchDevices[0];
      await runChecks(engine, await openPage(engine, browser, url, first), checks);
    }
  } finally {
    if (browser) await browser.close();
    fs.rmSync(profile, { recursive: true, force: true });
  }
}

async function main() {
  const sizes = ['index.html', 'velmora.js', 'velmora.wasm', 'velmora.data', 'icon-32.png', 'icon-192.png'].map((f) => {
    if (!fs.existsSync(path.join(site, f))) return `${f} missing`;
    const bytes = fs.readFileSync(path.join(site, f));
    return `${f} ${bytes.length} (gzipped ${zlib.gzipSync(bytes, { level: 9 }).length})`;
  });
  console.log(`measured: bytes ${sizes.join(', ')}`);

  const { server, url } = await serve(site);
  try {
    for (const engine of browsers()) {
      if (!engine.executable || !fs.existsSync(engine.executable)) {
        console.log(`skipped: ${engine.name}: no browser at '${engine.executable}' ` +
                    '(scripts/install-deps.sh --test installs chromium and firefox-esr)');
        skipped += engine.checks.length;
        continue;
      }
      try {
        await runBrowser(engine, url);
      } catch (e) {
        report(engine.name, 'the browser runs the page', e.message);
      }
    }
  } finally {
    server.kill();
  }
  console.log(`${passed} passed, ${failed} failed${skipped ? `, ${skipped} skipped` : ''}`);
  process.exit(failed ? 1 : 0);
}

main().catch((e) => {
  console.error(`web test: ${e.message}`);
  console.log(`${passed} passed, ${failed + 1} failed`);
  process.exit(1);
});
