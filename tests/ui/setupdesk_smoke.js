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
const { box, exited, runSmokeTests, timeout, typeKeyByKey, until, withTimeout } = require("./smoke_support");

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
    "[HKEY_LOCAL_MACHINE\\Software\\Corvanta\\Quberon\\System]", '"OrxNetId"=hex:0a,00,00,01,01,01', "",
    "[HKEY_LOCAL_MACHINE\\Comm\\FTPD]", '"UserList"="anna;bob"', '"DefaultDir"="\\\\Temp"', "", ""].join("\n"));
  // Two users of the NTLM user database, with their passwords hashed as the device keeps them.
  const user = (name, password) => {
    const salt = crypto.randomBytes(16);
    const hash = crypto.pbkdf2Sync(password, salt, 10000, 32, "sha256");
    return `user\t${name}\tpbkdf2-sha256$10000$${salt.toString("hex")}$${hash.toString("hex")}`;
  };
  // A third with the longest name the database holds, without a space to wrap at.
  fs.writeFileSync(path.join(root, "ntlmusers.txt"),
    [user("anna", "anna-pw"), user("bob", "bob-pw"), user(longName, "long-pw"), ""].join("\n"));
  return root;
}

const longName = "u".repeat(256);

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

async function openTab(page, caption) {
  const tab = control(page, 102, 1000).locator('button[role="tab"]', { hasText: caption });
  await tab.waitFor({ timeout });
  await tab.click();
}

// The firewall's stored rules, as the firewall keeps them between runs.
function storedRules(root) {
  for (const file of [["Temp", "ZrFirewallVolatile.txt"], ["Windows", "ZrFirewall.txt"]]) {
    const host = path.join(root, ...file);
    if (fs.existsSync(host)) return fs.readFileSync(host, "utf8");
  }
  return "";
}

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
    // The user of the longest name is listed and kept as well, not enabled.
    if (list !== `"-${longName};-bob;anna"`) throw new Error("UserList: " + list);

    await control(page, 102, 1011).click();
    const code = await withTimeout(exited(child), "setupdesk's end");
    if (code !== 0) throw new Error("setupdesk ended with " + code);
  },

  async "FTP: a default directory typed key by key after \\Temp is stored whole"(page, child, root) {
    await openTab(page, "FTP");
    const field = control(page, 136, 1039);
    await page.waitForFunction(() => document.querySelector('[data-dlg="136"] [data-ctl="1039"]')?.value === "\\Temp",
      null, { timeout });
    await field.click();
    await page.keyboard.press("End");
    // The first key changes the page, and Apply comes on while the rest is typed.
    await typeKeyByKey(page, field, "\\ftproot", (i) => (i === 0 ? applyDisabled(page, false) : null));
    if ((await field.inputValue()) !== "\\Temp\\ftproot") throw new Error("the field shows " + (await field.inputValue()));
    await control(page, 102, 1010).click();
    await applyDisabled(page, true);
    const stored = registryValue(root, "HKEY_LOCAL_MACHINE\\Comm\\FTPD", "DefaultDir");
    if (stored !== '"\\\\Temp\\\\ftproot"') throw new Error("DefaultDir: " + stored);
  },

  async "FTP: on a fresh device root Apply stores the directory and the switches"(page, child, root) {
    await openTab(page, "FTP");
    const authentication = control(page, 136, 1034).locator("input");
    await authentication.waitFor({ state: "visible", timeout });
    await authentication.click();
    await control(page, 136, 1039).fill("\\ftp");
    await applyDisabled(page, false);
    await control(page, 102, 1010).click();
    await applyDisabled(page, true);
    const stored = ["DefaultDir", "UseAuthentication", "IsEnabled"]
      .map((name) => registryValue(root, "HKEY_LOCAL_MACHINE\\Comm\\FTPD", name));
    if (JSON.stringify(stored) !== JSON.stringify(['"\\\\ftp"', "dword:00000001", "dword:00000000"]))
      throw new Error("Comm\\FTPD holds " + JSON.stringify(stored));
  },

  async "FTP: a directory longer than the field takes, typed or pasted, is refused with a sentence"(page) {
    await openTab(page, "FTP");
    const field = control(page, 136, 1039);
    await page.waitForFunction(() => document.querySelector('[data-dlg="136"] [data-ctl="1039"]')?.value === "\\Temp",
      null, { timeout });
    const ways = [
      ["typed", () => field.fill("\\" + "d".repeat(260))],
      ["pasted", async () => { await field.selectText(); await page.keyboard.insertText("p".repeat(100 * 1024)); }],
    ];
    for (const [how, enter] of ways) {
      const before = await field.inputValue();
      await enter();
      await page.locator("#problem", { hasText: /^The field takes at most 260 characters\.$/ }).waitFor({ timeout });
      if ((await field.inputValue()) !== before) throw new Error(how + ": the field keeps " + (await field.inputValue()).length + " characters");
      // A text the field takes clears the sentence for the next way.
      await field.fill("\\" + how);
      await page.locator("#problem").waitFor({ state: "hidden", timeout });
    }
  },

  async "Apply: a double click applies once, without an error"(page, child, root) {
    await openTab(page, "FTP");
    const field = control(page, 136, 1039);
    await page.waitForFunction(() => document.querySelector('[data-dlg="136"] [data-ctl="1039"]')?.value === "\\Temp",
      null, { timeout });
    await field.fill("\\twice");
    await applyDisabled(page, false);
    await control(page, 102, 1010).dblclick();
    // Both clicks answered and shown.
    await page.evaluate(() => sending);
    await applyDisabled(page, true);
    if (await page.locator("#problem").isVisible()) throw new Error("shown: " + (await page.locator("#problem").textContent()));
    const stored = registryValue(root, "HKEY_LOCAL_MACHINE\\Comm\\FTPD", "DefaultDir");
    if (stored !== '"\\\\twice"') throw new Error("DefaultDir: " + stored);
  },

  async "a hidden page holds no poll and shows what changed once it is shown again"(page) {
    const polls = new Set();
    let pollsWhileHidden = 0;
    let hidden = false;
    page.on("request", (request) => {
      if (!request.url().includes("/api/state")) return;
      polls.add(request);
      if (hidden) ++pollsWhileHidden;
    });
    for (const end of ["requestfinished", "requestfailed"]) page.on(end, (request) => polls.delete(request));
    await page.reload();
    const tabs = control(page, 102, 1000).locator('button[role="tab"]');
    await tabs.filter({ hasText: "FTP" }).waitFor({ timeout });

    hidden = true;
    await page.evaluate(() => {
      Object.defineProperty(document, "visibilityState", { value: "hidden", configurable: true });
      Object.defineProperty(document, "hidden", { value: true, configurable: true });
      document.dispatchEvent(new Event("visibilitychange"));
    });
    await until(() => polls.size === 0, "the end of the hidden page's poll");
    // A change while hidden: the page does not ask for it.
    await Promise.all([page.waitForResponse((r) => r.url().includes("/api/input")), tabs.filter({ hasText: "FTP" }).click()]);
    await page.evaluate(() => sending);
    if (pollsWhileHidden !== 0) throw new Error(pollsWhileHidden + " polls while hidden");
    if (await control(page, 136, 1039).isVisible()) throw new Error("the hidden page showed the FTP tab");

    hidden = false;
    await page.evaluate(() => {
      delete document.visibilityState;
      delete document.hidden;
      document.dispatchEvent(new Event("visibilitychange"));
    });
    await control(page, 136, 1039).waitFor({ state: "visible", timeout });
  },

  async "FTP: a user name without spaces wraps inside the dialog"(page) {
    await openTab(page, "FTP");
    const long = control(page, 136, 1011).locator("tbody tr", { hasText: longName });
    await long.waitFor({ timeout });
    const dialog = await box(page.locator('[data-dlg="102"]').first());
    const row = await box(long);
    const width = await page.evaluate(() => [document.documentElement.scrollWidth, window.innerWidth]);
    if (width[0] > width[1]) throw new Error(`the page is ${width[0]} px wide in a view of ${width[1]}`);
    if (row.x + row.width > dialog.x + dialog.width) throw new Error("the row reaches past the dialog");
  },

  async "General: captions stand beside their values"(page) {
    const caption = await box(control(page, 133, 1012).locator("xpath=preceding-sibling::*[1]"));
    const value = await box(control(page, 133, 1012).filter({ hasText: "Smoke Panel" }));
    if (Math.abs(caption.y - value.y) > 4 || value.x < caption.x + caption.width)
      throw new Error(`"Device Name" at ${JSON.stringify(caption)}, its value at ${JSON.stringify(value)}`);
  },

  async "General: the Orx net id dialog opens centred over its owner within the view"(page) {
    await control(page, 133, 1109).waitFor({ timeout });
    const owner = await box(page.locator('section[data-dlg="102"]'));
    await control(page, 133, 1109).click();
    const dialog = page.locator('section[data-dlg="158"]');
    await dialog.locator('[data-ctl="1110"]').waitFor({ timeout });
    const shown = await box(dialog);
    const view = page.viewportSize();
    if (shown.x < 0 || shown.y < 0 || shown.x + shown.width > view.width || shown.y + shown.height > view.height)
      throw new Error(`the dialog at ${JSON.stringify(shown)} is not within the view`);
    // Over the part of the owner that is in view.
    const ownerTop = Math.max(owner.y, 0);
    const ownerBottom = Math.min(owner.y + owner.height, view.height);
    if (Math.abs(shown.x + shown.width / 2 - (owner.x + owner.width / 2)) > 2 ||
        Math.abs(shown.y + shown.height / 2 - (ownerTop + ownerBottom) / 2) > 2)
      throw new Error(`the dialog at ${JSON.stringify(shown)} is not centred over its owner at ${JSON.stringify(owner)}`);
    await dialog.locator('[data-ctl="2"]').click();
    await dialog.waitFor({ state: "detached", timeout });
  },

  async "Firewall: a rule's description typed key by key is stored with the rule"(page, child, root) {
    await openTab(page, "Firewall");
    await control(page, 146, 1028).click();
    const description = page.locator('section[data-dlg="147"] [data-ctl="1076"]');
    await description.waitFor({ timeout });
    await description.click();
    await typeKeyByKey(page, description, "web server");
    await page.locator('section[data-dlg="147"] [data-ctl="1"]').click();
    const row = control(page, 146, 1070).locator("tbody tr", { hasText: "web server" });
    await row.waitFor({ timeout });
    await applyDisabled(page, false);
    await control(page, 102, 1010).click();
    await applyDisabled(page, true);
    const hex = Buffer.from("web server", "utf16le").toString("hex").toUpperCase();
    if (!storedRules(root).includes(hex)) throw new Error("the rule is stored without its description:\n" + storedRules(root));
  },
};

// A root as ./run makes it: the program seeds its registry from the build's fragments.
tests["FTP: on a fresh device root Apply stores the directory and the switches"].deviceRoot = () =>
  fs.mkdtempSync(path.join(os.tmpdir(), "setupdesk-smoke-"));

runSmokeTests({ program: path.join(binFolder, "setupdesk"), deviceRoot, nodeModules, screenshots, tests });
