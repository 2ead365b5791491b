// Browser smoke tests of setupdesk: a real setupdesk on a fixture device root, its page
// in headless Chromium.
//   node setupdesk_smoke.js <bin-folder> <node_modules> <screenshot-folder>
// Exits 77 (skipped) where /usr/bin/chromium is missing; leaves a screenshot of the page
// in the screenshot folder when a test fails.
"use strict";
const fs = require("fs");
const os = require("os");
const path = require("path");
const { exited, runSmokeTests, timeout, withTimeout } = require("./smoke_support");

const [binFolder, nodeModules, screenshots] = process.argv.slice(2);
const configPath = ["Hard Disk", "Quberon", "Boot", "SystemConfig.xml"];
const withoutLogger = "<QbBootProject>\n  <Processes>\n    <Process><Filename>QbSysExe.exe</Filename></Process>\n" +
  "  </Processes>\n</QbBootProject>\n";

// A device with the event logger program and a boot project that does not start it.
function deviceRoot() {
  const root = fs.mkdtempSync(path.join(os.tmpdir(), "setupdesk-smoke-"));
  fs.mkdirSync(path.join(root, "Hard Disk", "System"), { recursive: true });
  fs.writeFileSync(path.join(root, "Hard Disk", "System", "QbEventLoggerCE.exe"), "program");
  fs.mkdirSync(path.join(root, ...configPath.slice(0, -1)), { recursive: true });
  fs.writeFileSync(path.join(root, ...configPath), withoutLogger);
  fs.writeFileSync(path.join(root, "registry.reg"), [
    "REGEDIT4", "",
    "[HKEY_LOCAL_MACHINE\\Ident]", '"Name"="Smoke Panel"', "",
    "[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\ZrDisplay]", '"Line1"="V2.10"', "", ""].join("\n"));
  return root;
}

const control = (page, dialog, id) => page.locator(`[data-dlg="${dialog}"] [data-ctl="${id}"]`);

const tests = {
  async "seven tabs; the logger enabled, Apply asks for a reset, No leaves the device running"(page, child, root) {
    await page.locator('[data-dlg="102"] h1', { hasText: "Corvanta Zr Configuration Tool" }).first().waitFor({ timeout });
    const tabs = control(page, 102, 1000).locator('button[role="tab"]');
    await page.waitForFunction(() => document.querySelectorAll('[data-ctl="1000"] button[role="tab"]').length === 7,
      null, { timeout });
    const captions = await tabs.allTextContents();
    const expected = ["General", "RAS Control", "Display Settings", "FTP", "Quberon Settings", "Firewall", "Miscellaneous"];
    if (JSON.stringify(captions) !== JSON.stringify(expected)) throw new Error("tabs: " + JSON.stringify(captions));
    await control(page, 133, 1012).filter({ hasText: "Smoke Panel" }).waitFor({ timeout });

    await tabs.filter({ hasText: "Quberon Settings" }).click();
    const logger = control(page, 144, 1090).locator("input");
    await logger.waitFor({ state: "visible", timeout });
    if (await logger.isChecked()) throw new Error("the logger is already on");
    await logger.click();
    await page.waitForFunction(() => document.querySelector('[data-dlg="144"] [data-ctl="1090"] input')?.checked === true,
      null, { timeout });
    const apply = control(page, 102, 1010);
    await page.waitForFunction(() => document.querySelector('[data-dlg="102"] [data-ctl="1010"]')?.disabled === false,
      null, { timeout });
    await apply.click();

    const prompt = page.locator("#overlays .prompt");
    await prompt.filter({ hasText: "Reset now?" }).waitFor({ timeout });
    if ((await prompt.locator("h2").textContent()) !== "Reset Device?") throw new Error("the caption is not Reset Device?");
    await prompt.locator("button", { hasText: "No" }).click();
    await prompt.waitFor({ state: "detached", timeout });
    await page.waitForFunction(() => document.querySelector('[data-dlg="102"] [data-ctl="1010"]')?.disabled === true,
      null, { timeout });

    const config = fs.readFileSync(path.join(root, ...configPath), "utf8");
    if (!config.includes("<Process><Filename>QbEventLoggerCE.exe</Filename><Type>0</Type><Index>10</Index></Process>"))
      throw new Error("the logger is not in the boot project:\n" + config);
    if (fs.existsSync(path.join(root, "PowerRequests.log"))) throw new Error("No asked for a reset");

    await control(page, 102, 1011).click();
    const code = await withTimeout(exited(child), "setupdesk's end");
    if (code !== 0) throw new Error("setupdesk ended with " + code);
  },
};

runSmokeTests({ program: path.join(binFolder, "setupdesk"), deviceRoot, nodeModules, screenshots, tests });
