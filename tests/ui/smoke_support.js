// What the browser smoke tests of the dialog programs share: a program started on a
// fixture device root, its page in headless Debian Chromium, one fresh root and page per
// test, and a screenshot of the page when a test fails.
"use strict";
const fs = require("fs");
const path = require("path");
const { spawn } = require("child_process");

const browserPath = "/usr/bin/chromium";
const timeout = 60000;

// Starts the program and resolves with the process and the page address it prints.
function startProgram(program, root) {
  return new Promise((resolve, reject) => {
    const child = spawn(program, [], { env: { ...process.env, DEVICE_ROOT: root } });
    let output = "";
    child.stderr.on("data", (chunk) => process.stderr.write(chunk));
    child.stdout.on("data", (chunk) => {
      output += chunk;
      const line = output.split("\n")[0];
      if (output.includes("\n")) resolve({ child, url: line.trim() });
    });
    child.on("exit", (code) => reject(new Error(path.basename(program) + " ended early with " + code)));
  });
}

function exited(child) {
  return new Promise((resolve) => {
    if (child.exitCode !== null) resolve(child.exitCode);
    else child.on("exit", (code, signal) => resolve(signal ? signal : code));
  });
}

async function withTimeout(promise, what) {
  let timer;
  const limit = new Promise((_, reject) => { timer = setTimeout(() => reject(new Error(what + " timed out")), timeout); });
  try { return await Promise.race([promise, limit]); } finally { clearTimeout(timer); }
}

// Runs every test as run(page, child, root) and exits: 0 when all passed, 1 otherwise,
// 77 (skipped) where Chromium is missing.
//   program: the program's path; deviceRoot(): a new fixture root's path (a test's own
//   run.deviceRoot() instead, where it has one);
//   nodeModules: the folder with playwright-core; screenshots: where failures are shot.
async function runAll({ program, deviceRoot, nodeModules, screenshots, tests }) {
  if (!fs.existsSync(browserPath)) {
    console.log("skipped: " + browserPath + " is not installed");
    process.exit(77);
  }
  const { chromium } = require(path.join(nodeModules, "playwright-core"));
  fs.mkdirSync(screenshots, { recursive: true });
  const browser = await chromium.launch({
    executablePath: browserPath,
    headless: true,
    args: ["--no-sandbox", "--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1"],
  });
  let passed = 0;
  let failed = 0;
  for (const [name, run] of Object.entries(tests)) {
    const root = (run.deviceRoot || deviceRoot)();
    const context = await browser.newContext({ viewport: { width: 1000, height: 800 } });
    const page = await context.newPage();
    let child = null;
    try {
      const started = await withTimeout(startProgram(program, root), path.basename(program) + "'s start");
      child = started.child;
      if (!/^http:\/\/127\.0\.0\.1:\d+\/\?token=[0-9a-f]{32}$/.test(started.url)) throw new Error("odd address " + started.url);
      await page.goto(started.url, { timeout });
      await run(page, child, root);
      console.log("ok: " + name);
      ++passed;
    } catch (error) {
      const shot = path.join(screenshots, name.replace(/[^a-z0-9]+/gi, "_") + ".png");
      await page.screenshot({ path: shot, fullPage: true }).catch(() => {});
      console.log("FAILED: " + name + ": " + error.message + " (screenshot " + shot + ")");
      ++failed;
    } finally {
      if (child && child.exitCode === null) {
        child.kill("SIGTERM");
        await withTimeout(exited(child), path.basename(program) + "'s stop").catch(() => child.kill("SIGKILL"));
      }
      await context.close();
      fs.rmSync(root, { recursive: true, force: true });
    }
  }
  await browser.close();
  console.log(`${passed} passed, ${failed} failed`);
  process.exit(failed === 0 ? 0 : 1);
}

// Types the text key by key into the focused field, as a person does. After each key,
// between(i) may bring an update of the program (a status change) and wait until the page
// shows it; the field must keep the focus all along.
async function typeKeyByKey(page, field, text, between) {
  for (let i = 0; i < text.length; ++i) {
    await page.keyboard.type(text[i], { delay: 30 });
    if (between) await between(i);
    if (!(await field.evaluate((el) => el === document.activeElement))) throw new Error(`the field lost the focus after "${text.slice(0, i + 1)}"`);
  }
}

// Resolves once condition() holds (checked every 20 ms); fails after the time-out.
async function until(condition, what) {
  const end = Date.now() + timeout;
  while (!condition()) {
    if (Date.now() > end) throw new Error(what + " timed out");
    await new Promise((resolve) => setTimeout(resolve, 20));
  }
}

// The element's box on the page.
async function box(locator) {
  const found = await locator.boundingBox();
  if (!found) throw new Error("not shown: " + locator);
  return found;
}

function runSmokeTests(options) {
  runAll(options).catch((error) => {
    console.log("FAILED: " + error.stack);
    process.exit(1);
  });
}

module.exports = { box, exited, runSmokeTests, timeout, typeKeyByKey, until, withTimeout };
