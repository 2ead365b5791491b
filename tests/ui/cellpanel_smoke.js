// Browser smoke tests of cellpanel: a real cellpanel on a fixture device root, its page
// in headless Chromium.
//   node cellpanel_smoke.js <bin-folder> <node_modules> <screenshot-folder>
// Exits 77 (skipped) where /usr/bin/chromium is missing; leaves a screenshot of the page
// in the screenshot folder when a test fails.
"use strict";
const fs = require("fs");
const os = require("os");
const path = require("path");
const { exited, runSmokeTests, timeout, typeKeyByKey, withTimeout } = require("./smoke_support");

const [binFolder, nodeModules, screenshots] = process.argv.slice(2);

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

const control = (page, id) => page.locator(`[data-dlg="102"] [data-ctl="${id}"]`);

// The battery's charge as its driver reports it.
function setCharge(root, percent) {
  fs.writeFileSync(path.join(root, "supplies", "BAT0", "capacity"), percent + "\n");
}

// The charge changes; resolves once the page shows it.
async function chargeChanges(page, root, percent) {
  setCharge(root, percent);
  await control(page, 1003).filter({ hasText: new RegExp(`^Battery load level: ${percent}%$`) }).waitFor({ timeout });
}

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

  async "the delay typed key by key while the status changes is stored whole"(page, child, root) {
    const field = control(page, 1007);
    await page.waitForFunction(() => document.querySelector('[data-ctl="1007"]')?.value === "30", null, { timeout });
    await field.click();
    await page.keyboard.press("Control+A");
    await chargeChanges(page, root, 80);
    const selected = await field.evaluate((el) => [el.selectionStart, el.selectionEnd, el === document.activeElement]);
    if (JSON.stringify(selected) !== "[0,2,true]") throw new Error("the update lost the selection: " + selected);
    // "1" and "3", the caret back between them, then "2": each key with a change of the charge after it.
    const charges = [75, 70];
    await typeKeyByKey(page, field, "13", (i) => chargeChanges(page, root, charges[i]));
    await page.keyboard.press("ArrowLeft");
    await chargeChanges(page, root, 65);
    await typeKeyByKey(page, field, "2", () => chargeChanges(page, root, 60));
    if ((await field.inputValue()) !== "123") throw new Error("the field shows " + (await field.inputValue()));
    await control(page, 1).click();
    const code = await withTimeout(exited(child), "cellpanel's end");
    if (code !== 0) throw new Error("cellpanel ended with " + code);
    const registry = fs.readFileSync(path.join(root, "registry.reg"), "utf8");
    if (!/"ShutdownOnBatteryWait"=dword:0000007b/.test(registry)) throw new Error("the delay 123 is not stored:\n" + registry);
  },

  async "a pasted text too long for the program is refused with a sentence"(page) {
    const field = control(page, 1007);
    await page.waitForFunction(() => document.querySelector('[data-ctl="1007"]')?.value === "30", null, { timeout });
    await field.selectText();
    await page.keyboard.insertText("1".repeat(100 * 1024));
    await page.locator("#problem", { hasText: /^The text is too long for the program\.$/ }).waitFor({ timeout });
    if ((await field.inputValue()) !== "30") throw new Error("the field keeps " + (await field.inputValue()).length + " characters");
  },

  async "a failed request is tried again, and the page shows the connection lost meanwhile"(page, child, root) {
    await chargeChanges(page, root, 50);
    const lost = page.locator("#connection", { hasText: "Connection to the program lost" });
    const state = (url) => url.pathname === "/api/state";
    const refuse = (route) => route.abort();
    await page.route(state, refuse);
    // The request already waiting may bring this change; the next one fails.
    setCharge(root, 45);
    await lost.waitFor({ timeout });
    await page.unroute(state, refuse);
    await chargeChanges(page, root, 40);
    await lost.waitFor({ state: "hidden", timeout });
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

runSmokeTests({ program: path.join(binFolder, "cellpanel"), deviceRoot, nodeModules, screenshots, tests });
