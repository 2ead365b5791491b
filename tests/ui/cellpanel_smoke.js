// Browser smoke tests of cellpanel: a real cellpanel on a fixture device root, its page
// in headless Chromium.
//   node cellpanel_smoke.js <bin-folder> <node_modules> <screenshot-folder>
// Exits 77 (skipped) where /usr/bin/chromium is missing; leaves a screenshot of the page
// in the screenshot folder when a test fails.
"use strict";
const fs = require("fs");
const os = require("os");
const path = require("path");
const { spawn } = require("child_process");

const [binFolder, nodeModules, screenshots] = process.argv.slice(2);
const browserPath = "/usr/bin/chromium";
if (!fs.existsSync(browserPath)) {
  console.log("skipped: " + browserPath + " is not installed");
  process.exit(77);
}
const { chromium } = require(path.join(nodeModules, "playwright-core"));
const timeout = 60000;

function deviceRoot() {
  const root = fs.mkdtempSync(path.join(os.tmpdir(), "cellpanel-smoke-"));
  const supplies = path.join(root, "supplies");
  for (const [supply, values] of Object.entries({
    AC: { type: "Mains", online: "1" },
    BAT0: { type: "Battery", capacity: "90", status: "Discharging", temp: "253" },
  })) {
    fs.mkdirSync(path.join(supplies, supply), { recursive: true });
    for (const [name, value] of Object.entries(values)) fs.writeFileSync(path.join(supplies, supply, name), value + "\n");
  }
  fs.writeFileSync(path.join(root, "registry.reg"), [
    "REGEDIT4", "",
    "[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Battery\\Config]",
    '"Vendor"="Corvanta"', '"Model"="Smoke Pack"',
    '"ShutdownOnBatteryWait"=dword:0000001e', '"ShutdownOnBatteryWaitUnit"=dword:00000000', "",
    "[HKEY_LOCAL_MACHINE\\Platform]", '"PowerSupplyPath"="' + supplies + '"', "", ""].join("\n"));
  return root;
}

// Starts cellpanel and resolves with the process and the page address it prints.
function startCellpanel(root) {
  return new Promise((resolve, reject) => {
    const child = spawn(path.join(binFolder, "cellpanel"), [], { env: { ...process.env, DEVICE_ROOT: root } });
    let output = "";
    child.stderr.on("data", (chunk) => process.stderr.write(chunk));
    child.stdout.on("data", (chunk) => {
      output += chunk;
      const line = output.split("\n")[0];
      if (output.includes("\n")) resolve({ child, url: line.trim() });
    });
    child.on("exit", (code) => reject(new Error("cellpanel ended early with " + code)));
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

const control = (page, id) => page.locator(`[data-dlg="102"] [data-ctl="${id}"]`);

const tests = {
  async "the page shows the power source"(page) {
    await page.locator('[data-dlg="102"] h1', { hasText: "CORVANTA UPS Configuration" }).waitFor({ timeout });
    await control(page, 1002).filter({ hasText: /^Current power source: ONLINE$/ }).waitFor({ timeout });
    await control(page, 1013).filter({ hasText: "Temperature: 25.3°C" }).waitFor({ timeout });
  },

  async "two up arrows and OK store the delay"(page, child, root) {
    const field = control(page, 1007);
    await page.waitForFunction(() => document.querySelector('[data-ctl="1007"]')?.value === "30", null, { timeout });
    const up = control(page, 1006).locator('button[data-dir="up"]');
    await up.click();
    await page.waitForFunction(() => document.querySelector('[data-ctl="1007"]')?.value === "31", null, { timeout });
    await up.click();
    await page.waitForFunction(() => document.querySelector('[data-ctl="1007"]')?.value === "32", null, { timeout });
    if ((await field.inputValue()) !== "32") throw new Error("the field does not show 32");
    await control(page, 1).click();
    const code = await withTimeout(exited(child), "cellpanel's end");
    if (code !== 0) throw new Error("cellpanel ended with " + code);
    const registry = fs.readFileSync(path.join(root, "registry.reg"), "utf8");
    if (!/"ShutdownOnBatteryWait"=dword:00000020/.test(registry)) throw new Error("the delay 32 is not stored:\n" + registry);
    if (!/"ShutdownOnBatteryWaitUnit"=dword:00000000/.test(registry)) throw new Error("the unit is not stored");
  },

  async "About shows the version and closes"(page) {
    await control(page, 1017).click();
    const prompt = page.locator("#overlays .prompt");
    await prompt.filter({ hasText: "Version: 1.0.1" }).waitFor({ timeout });
    if ((await prompt.locator("h2").textContent()) !== "About") throw new Error("the caption is not About");
    await prompt.locator("button", { hasText: "OK" }).click();
    await prompt.waitFor({ state: "detached", timeout });
    await control(page, 1017).waitFor({ timeout });
  },
};

async function main() {
  fs.mkdirSync(screenshots, { recursive: true });
  const browser = await chromium.launch({
    executablePath: browserPath,
    headless: true,
    args: ["--no-sandbox", "--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1"],
  });
  let passed = 0;
  let failed = 0;
  for (const [name, run] of Object.entries(tests)) {
    const root = deviceRoot();
    const context = await browser.newContext();
    const page = await context.newPage();
    let child = null;
    try {
      const started = await withTimeout(startCellpanel(root), "cellpanel's start");
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
        await withTimeout(exited(child), "cellpanel's stop").catch(() => child.kill("SIGKILL"));
      }
      await context.close();
      fs.rmSync(root, { recursive: true, force: true });
    }
  }
  await browser.close();
  console.log(`${passed} passed, ${failed} failed`);
  process.exit(failed === 0 ? 0 : 1);
}

main().catch((error) => {
  console.log("FAILED: " + error.stack);
  process.exit(1);
});
