// Opens the page in one browser engine and visits it with a list of address parameters, for the
// page's tests and benchmark: Chromium (headless, WebGL through SwiftShader) and Firefox ESR (in
// an Xvfb window, WebGL on Mesa) through puppeteer-core, WebKitGTK's MiniBrowser (in an Xvfb
// window) through its WebDriver. The page's folder is served on a loopback port, since file://
// pages may not read their own files in every engine.
//
//   node drive_page.cjs PLAN.json     prints what each visit found, a block of lines a visit
//
// The plan: { engine: "chromium"|"firefox"|"webkit", page: folder, width, height (the page's
// viewport; 800 x 600 when left out), phone: true for a 390 x 844 touch screen (Chromium's device
// emulation), webgl: false for a browser without WebGL, sound: true to let the browsers be heard
// (they are muted otherwise), chromiumArgs: switches appended to Chromium's (for example
// ["--disable-gpu-compositing"]), window: true to run Chromium in an Xvfb window as well (a
// headless one starves its frames when the machine is busy), liveConsole: true to print each console message as it comes,
// timeout: seconds for the whole plan,
// visits: [{ query, wait: a JS expression true once the visit is done (the page's report title
// by default), within: seconds for that (120), evaluate: a JS expression whose value is
// returned, tap: touch or click the middle of the page after that, then wait for `waitAfterTap`
// and evaluate `afterTap`, stall: seconds of a busy loop on the page's main thread after that
// (printing "stalling" before and "stalled" after), hold: seconds to wait then, shot: a PNG path
// for the viewport, still: a PNG path for the still the page drew (?still=, read back in the
// page as drawn) }] }. Lines are printed as they come.
// Each visit prints "visit", "waited 0|1", then "value V", "tapped 0|1", "afterTap V" where
// asked for (V: a string as it is, anything else as JSON), "title T", a "report L" line for each
// line of the page's report, "console M" for each console message, and "end".
// Whatever goes wrong prints "error WHAT" and ends with exit status 1; every child is stopped
// on the way out.
"use strict";
const childProcess = require("child_process");
const fs = require("fs");
const http = require("http");
const path = require("path");

const plan = JSON.parse(fs.readFileSync(process.argv[2], "utf8"));
const width = plan.width || 800;
const height = plan.height || 600;
const children = [];
const cleanups = [];

const defaultWait = "/^veldrin (still|frames|values) (ready|done|failed)$|bad address/.test(document.title)";
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

function serve(folder) {
  const types = { ".html": "text/html", ".js": "text/javascript", ".wasm": "application/wasm", ".png": "image/png" };
  const server = http.createServer((request, response) => {
    const name = decodeURIComponent(new URL(request.url, "http://x").pathname);
    const file = path.join(folder, path.normalize(name === "/" ? "/index.html" : name));
    if (!file.startsWith(path.resolve(folder) + path.sep)) return response.writeHead(403).end();
    fs.readFile(file, (error, data) => {
      if (error) return response.writeHead(404).end();
      response.writeHead(200, { "Content-Type": types[path.extname(file)] || "application/octet-stream" }).end(data);
    });
  });
  cleanups.push(() => server.close());
  return new Promise((resolve) => server.listen(0, "127.0.0.1", () => resolve(server.address().port)));
}

// An X screen of its own, its number read from -displayfd.
function startXvfb() {
  const xvfb = childProcess.spawn("Xvfb", ["-displayfd", "3", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                                  { stdio: ["ignore", "ignore", "ignore", "pipe"] });
  children.push(xvfb);
  return new Promise((resolve, reject) => {
    let text = "";
    xvfb.on("error", reject);
    xvfb.on("exit", () => reject(new Error("Xvfb ended before it had a screen")));
    xvfb.stdio[3].on("data", (chunk) => {
      text += chunk;
      if (text.includes("\n")) resolve(":" + text.trim());
    });
  });
}

function freePort() {
  return new Promise((resolve) => {
    const probe = http.createServer().listen(0, "127.0.0.1", () => {
      const port = probe.address().port;
      probe.close(() => resolve(port));
    });
  });
}

// The engines behind one small interface: go to an address, evaluate, tap, a viewport PNG.
async function puppeteerEngine(display, heard) {
  const puppeteer = require("puppeteer-core");
  const chromium = plan.engine === "chromium";
  const phone = plan.phone ? { width: 390, height: 844, deviceScaleFactor: 3, isMobile: true, hasTouch: true }
                           : { width, height, deviceScaleFactor: 1 };
  const args = chromium
    ? ["--no-sandbox", "--use-angle=swiftshader", "--enable-unsafe-swiftshader", "--disable-background-networking",
       "--disable-component-update", "--disable-sync", "--no-first-run", "--autoplay-policy=no-user-gesture-required",
       ...(plan.webgl === false ? ["--disable-webgl", "--disable-webgl2"] : []),
       ...(plan.chromiumArgs || [])]
    : [];
  const browser = await puppeteer.launch({
    browser: chromium ? "chrome" : "firefox",
    executablePath: chromium ? "/usr/bin/chromium" : "/usr/bin/firefox-esr",
    headless: chromium && !plan.window,
    args: chromium && !plan.sound ? [...args, "--mute-audio"] : args,
    // puppeteer mutes a headless Chromium of its own accord.
    ignoreDefaultArgs: plan.sound ? ["--mute-audio"] : [],
    env: { ...process.env, ...(display ? { DISPLAY: display } : {}), MOZ_CRASHREPORTER_DISABLE: "1" },
    defaultViewport: phone,
    extraPrefsFirefox: { "media.autoplay.default": 0, "media.autoplay.blocking_policy": 0,
                         ...(plan.sound ? {} : { "media.volume_scale": "0.0" }),
                         ...(plan.webgl === false ? { "webgl.disabled": true } : {}) },
    protocolTimeout: 180000,
  });
  cleanups.push(() => browser.close().catch(() => {}));
  const page = (await browser.pages())[0] || (await browser.newPage());
  await page.setViewport(phone);
  page.on("console", (message) => heard(message.type() + ": " + message.text()));
  page.on("pageerror", (error) => heard("uncaught: " + (error.message || error)));
  return {
    go: (url) => page.goto(url, { waitUntil: "load", timeout: 60000 }),
    evaluate: (expression) => page.evaluate(expression),
    tap: async () => {
      const x = (plan.phone ? 390 : width) / 2;
      const y = (plan.phone ? 844 : height) / 2;
      if (plan.phone) await page.touchscreen.tap(x, y);
      else await page.mouse.click(x, y);
    },
    shot: (file) => page.screenshot({ path: file, type: "png" }),
  };
}

async function webkitEngine(display, heard) {
  const { Builder } = require("selenium-webdriver");
  const port = await freePort();
  const driverProcess = childProcess.spawn("WebKitWebDriver", ["--port=" + port],
                                           { env: { ...process.env, DISPLAY: display }, stdio: ["ignore", "pipe", "pipe"] });
  children.push(driverProcess);
  driverProcess.stdout.resume();
  driverProcess.stderr.resume();
  for (let i = 0; i < 100; ++i) {
    const ready = await new Promise((resolve) => http.get("http://127.0.0.1:" + port + "/status", (response) => {
      response.resume();
      resolve(response.statusCode === 200);
    }).on("error", () => resolve(false)));
    if (ready) break;
    await sleep(100);
  }
  const options = ["--automation"];
  if (plan.webgl === false) options.push("--enable-webgl=false");
  const driver = await new Builder().usingServer("http://127.0.0.1:" + port).withCapabilities({
    browserName: "MiniBrowser",
    "webkitgtk:browserOptions": { binary: "/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser", args: options },
  }).build();
  cleanups.push(() => driver.quit().catch(() => {}));
  // The window holds a toolbar as well: make it tall enough that the page's viewport is the size asked for.
  await driver.manage().window().setRect({ x: 0, y: 0, width, height });
  const inner = await driver.executeScript("return [innerWidth, innerHeight]");
  await driver.manage().window().setRect({ x: 0, y: 0, width: 2 * width - inner[0], height: 2 * height - inner[1] });
  return {
    // WebDriver has no console, and in automation the MiniBrowser does not write it out: the
    // console is listened to from the page's load on, which is before the program's first
    // frame (it waits for its code to compile) but after the page's own first lines.
    go: async (url) => {
      await driver.get(url);
      await driver.executeScript(listenToTheConsole);
    },
    evaluate: (expression) => driver.executeScript("return (" + expression + ")"),
    console: async () => {
      for (const line of await driver.executeScript("const m = window.veldrinConsole || []; window.veldrinConsole = []; return m;"))
        heard(line);
    },
    tap: async () => {
      const body = await driver.findElement({ css: "#cover" });
      await body.click();
    },
    // The viewport's screenshot: an element's comes back at half its size.
    shot: async (file) => fs.writeFileSync(file, Buffer.from(await driver.takeScreenshot(), "base64")),
  };
}

function listenToTheConsole() {
  window.veldrinConsole = [];
  for (const level of ["error", "warn", "info", "log", "debug"]) {
    const original = console[level];
    console[level] = (...args) => {
      window.veldrinConsole.push(level + ": " + args.join(" "));
      original.apply(console, args);
    };
  }
  window.addEventListener("error", (event) => window.veldrinConsole.push("uncaught: " + event.message));
  window.addEventListener("unhandledrejection", (event) => window.veldrinConsole.push("uncaught: " + event.reason));
}

async function waitFor(engine, expression, until) {
  while (Date.now() < until) {
    if (await engine.evaluate("Boolean(" + expression + ")").catch(() => false)) return true;
    await sleep(100);
  }
  return false;
}

async function main() {
  const timer = setTimeout(() => finish("error the plan took longer than " + (plan.timeout || 240) + " s\n", 1),
                           1000 * (plan.timeout || 240));
  timer.unref();
  const port = await serve(plan.page);
  const display = plan.engine === "chromium" && !plan.window ? null : await startXvfb();
  const say = (line) => process.stdout.write(line.replace(/\n/g, " ") + "\n");
  const consoleLines = [];
  const heard = (line) => (plan.liveConsole ? say("console " + line) : consoleLines.push(line));
  const engine = plan.engine === "webkit" ? await webkitEngine(display, heard) : await puppeteerEngine(display, heard);
  for (const visit of plan.visits) {
    // A blank page between visits, so that one visit's program does not run into the next.
    await engine.go("about:blank");
    consoleLines.length = 0;
    await engine.go("http://127.0.0.1:" + port + "/index.html" + (visit.query ? "?" + visit.query : ""));
    const until = Date.now() + 1000 * (visit.within || 120);
    say("visit");
    say("waited " + Number(await waitFor(engine, visit.wait || defaultWait, until)));
    const print = (name, value) => say(name + " " + (typeof value === "string" ? value : JSON.stringify(value)));
    if (visit.evaluate) print("value", await engine.evaluate(visit.evaluate));
    if (visit.tap) {
      await engine.tap();
      say("tapped " + Number(!visit.waitAfterTap || await waitFor(engine, visit.waitAfterTap, until)));
      if (visit.afterTap) print("afterTap", await engine.evaluate(visit.afterTap));
    }
    if (visit.stall) {
      say("stalling");
      await engine.evaluate("(() => { const t = performance.now(); while (performance.now() - t < " +
                            1000 * visit.stall + ") {} return true; })()");
      say("stalled");
    }
    if (visit.hold) await sleep(1000 * visit.hold);
    // Two display frames, so that what was drawn last is what the compositor shows.
    await engine.evaluate("new Promise((done) => requestAnimationFrame(() => requestAnimationFrame(() => done(true))))");
    if (visit.shot) await engine.shot(visit.shot);
    if (visit.still) {
      const url = await engine.evaluate("window.veldrinStill || ''");
      if (url.startsWith("data:image/png;base64,")) fs.writeFileSync(visit.still, Buffer.from(url.slice(22), "base64"));
    }
    say("title " + await engine.evaluate("document.title"));
    for (const line of (await engine.evaluate("document.getElementById('report').textContent")).split("\n")) {
      if (line) say("report " + line);
    }
    if (engine.console) await engine.console();
    for (const line of consoleLines) say("console " + line);
    say("end");
  }
  finish("", 0);
}

let finishing = false;
async function finish(output, status) {
  if (finishing) return;
  finishing = true;
  process.stdout.write(output);
  await Promise.race([Promise.all(cleanups.reverse().map((cleanup) => Promise.resolve().then(cleanup))), sleep(10000)]);
  for (const child of children) child.kill("SIGKILL");
  process.exit(status);
}

main().catch((error) => finish("error " + String(error && error.stack || error).replace(/\n/g, " ") + "\n", 1));
