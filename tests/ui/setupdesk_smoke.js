// Browser smoke tests of setupdesk: a real setupdesk on a fixture device root, its page
// in headless Chromium.
//   node setupdesk_smoke.js <bin-folder> <node_modules> <screenshot-folder>
// Exits 77 (skipped) where /usr/bin/chromium is missing; leaves a screenshot of the page
// in the screenshot folder when a test fails.
"use strict";
const fs = require("fs");
const os = require("os");
const path = require("path");
const crypto = require("crypto");
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
    "[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\ZrDisplay]", '"Line1"="V2.10"', "",
    "[HKEY_LOCAL_MACHINE\\Comm\\FTPD]", '"UserList"="anna;bob"', "", ""].join("\n"));
  // Two users of the NTLM user database, with their passwords hashed as the device keeps them.
  const user = (name, password) => {
    const salt = crypto.randomBytes(16);
    const hash = crypto.pbkdf2Sync(password, salt, 10000, 32, "sha256");
    return `user\t${name}\tpbkdf2-sha256$10000$${salt.toString("hex")}$${hash.toString("hex")}`;
  };
  fs.writeFileSync(path.join(root, "ntlmusers.txt"), [user("anna", "anna-pw"), user("bob", "bob-pw"), ""].join("\n"));
  return root;
}

// The registry value as the device root's registry file holds it.
function registryValue(root, key, name) {
  const text = fs.readFileSync(path.join(root, "registry.reg"), "utf8");
  const section = text.split(/\r?\n\[/).find((s) => s.toLowerCase().startsWith(key.toLowerCase() + "]"));
  const line = section && section.split(/\r?\n/).find((l) => l.startsWith(`"${name}"=`));
  return line ? line.slice(name.length + 3) : undefined;
}

// A control of a dialog itself, not one of the same id on one of its pages.
const control = (page, dialog, id) =>
  page.locator(`xpath=//*[@data-ctl="${id}"][ancestor::*[@data-dlg][1][@data-dlg="${dialog}"]]`);
const applyDisabled = (page, disabled) => page.waitForFunction((wanted) => {
  const apply = [...document.querySelectorAll('[data-dlg="102"] [data-ctl="1010"]')]
    .find((el) => el.closest("[data-dlg]").dataset.dlg === "102");
  return apply?.disabled === wanted;
}, disabled, { timeout });

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
    await applyDisabled(page, false);
    await apply.click();

    const prompt = page.locator("#overlays .prompt");
    await prompt.filter({ hasText: "Reset now?" }).waitFor({ timeout });
    if ((await prompt.locator("h2").textContent()) !== "Reset Device?") throw new Error("the caption is not Reset Device?");
    await prompt.locator("button", { hasText: "No" }).click();
    await prompt.waitFor({ state: "detached", timeout });
    await applyDisabled(page, true);

    const config = fs.readFileSync(path.join(root, ...configPath), "utf8");
    if (!config.includes("<Process><Filename>QbEventLoggerCE.exe</Filename><Type>0</Type><Index>10</Index></Process>"))
      throw new Error("the logger is not in the boot project:\n" + config);
    if (fs.existsSync(path.join(root, "PowerRequests.log"))) throw new Error("No asked for a reset");

    await control(page, 102, 1011).click();
    const code = await withTimeout(exited(child), "setupdesk's end");
    if (code !== 0) throw new Error("setupdesk ended with " + code);
  },

  async "FTP: a user disabled from the user menu is marked in the user list on Apply"(page, child, root) {
    const tabs = control(page, 102, 1000).locator('button[role="tab"]');
    await tabs.filter({ hasText: "FTP" }).first().waitFor({ timeout });
    await tabs.filter({ hasText: "FTP" }).click();
    const users = control(page, 136, 1011);
    const bob = users.locator("tbody tr", { hasText: "bob" });
    await bob.waitFor({ state: "visible", timeout });
    await bob.click({ button: "right" });
    const menu = page.locator("#overlays .prompt.menu");
    await menu.locator("button", { hasText: "Disable user" }).click();
    await menu.waitFor({ state: "detached", timeout });
    await applyDisabled(page, false);
    await control(page, 102, 1010).click();
    await applyDisabled(page, true);
    const list = registryValue(root, "HKEY_LOCAL_MACHINE\\Comm\\FTPD", "UserList");
    if (list !== '"-bob;anna"') throw new Error("UserList: " + list);

    await control(page, 102, 1011).click();
    const code = await withTimeout(exited(child), "setupdesk's end");
    if (code !== 0) throw new Error("setupdesk ended with " + code);
  },
};

runSmokeTests({ program: path.join(binFolder, "setupdesk"), deviceRoot, nodeModules, screenshots, tests });
