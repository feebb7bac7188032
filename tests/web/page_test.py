#!/usr/bin/python3
"""The page in headless Chromium, served from localhost, against the command line.

    tests/web/page_test.py SITE_DIR VANTREL_CONVERT

The page API must make the command line's bytes (JPEG and PNG, given and automatic colours)
and refuse bad input with its message; the page itself must show a chosen picture, change
the mix colours on a palette click, download the file a save would write and fit the window
of a phone as of a desktop.
"""
import base64
import re
import os
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

from PIL import Image
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

from headless import browser, served

ROOT = Path(__file__).resolve().parents[2]
DATA = ROOT / "tests" / "data"
SITE = Path(sys.argv[1]) if len(sys.argv) > 1 else ROOT / "build-web" / "build" / "site"
CLI = Path(sys.argv[2]) if len(sys.argv) > 2 else ROOT / "build" / "cli" / "vantrel-convert"
OUTPUTS = {"exe": ".prg", "d64": ".d64", "png": ".png", "data": ".bin", "asm": ".asm"}


def run_cli(picture, arguments, folder):
    """The command line's files for `picture`, its printed roles and its exit status."""
    outputs = {kind: Path(folder) / f"cli{extension}" for kind, extension in OUTPUTS.items()}
    command = [str(CLI), *arguments, str(picture)]
    for path in outputs.values():
        command += ["-o", str(path)]
    done = subprocess.run(command, capture_output=True, text=True)
    files = {kind: path.read_bytes() for kind, path in outputs.items() if path.exists()}
    return files, done.stdout.strip(), done.stderr, done.returncode


CONVERT = """
const [encoded, options, done] = arguments;
const bytes = Uint8Array.from(atob(encoded), (c) => c.charCodeAt(0));
const text = (array) => { let s = ''; for (const b of array) s += String.fromCharCode(b); return btoa(s); };
window.vantrel.ready
  .then(() => window.vantrel.convert(bytes, options))
  .then((r) => done({exe: text(r.exe), d64: text(r.d64), png: text(r.png), data: text(r.data),
                     asm: text(r.asm), colours: Array.from(r.colours)}))
  .catch((e) => done({error: e.message}));
"""


class Page(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        cls.work = Path(cls.folder.name)
        cls.downloads = cls.work / "downloads"
        cls.downloads.mkdir()
        # A PNG with transparency (composited over black) from one of the photos.
        photo = Image.open(DATA / "chelsea.jpg").convert("RGBA").resize((300, 260))
        photo.putalpha(Image.linear_gradient("L").resize((300, 260)))
        photo.save(cls.work / "cat.png")
        # Formats the browser decodes for the page, each lossless so both decodes agree.
        astronaut = Image.open(DATA / "astronaut.jpg")
        astronaut.quantize(200).save(cls.work / "astronaut.gif")
        astronaut.save(cls.work / "astronaut.bmp")
        astronaut.save(cls.work / "astronaut.webp", lossless=True)
        cls.server = served(SITE)
        cls.url = cls.server.__enter__()
        cls.driver = browser(300, cls.downloads)
        cls.driver.get(cls.url)

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        cls.server.__exit__(None, None, None)
        cls.folder.cleanup()

    def convert_in_page(self, picture, options):
        encoded = base64.b64encode(Path(picture).read_bytes()).decode()
        return self.driver.execute_async_script(CONVERT, encoded, options)

    def test_api_makes_the_command_lines_files(self):
        cases = [
            # picture, page options, command-line options
            (DATA / "coffee.jpg", {}, []),
            (DATA / "astronaut.jpg",
             {"scale": "fit", "offsets": [10, -20, 5], "dither": "low-flicker", "machine": "ntsc"},
             None),
            (DATA / "astronaut.jpg", {"scale": 60, "crop": [12, 30], "colours": [0, 6, 14, 1, 3],
                                       "dither": "none", "machine": "any"}, None),
            (DATA / "hubble.jpg", {"scale": "fit", "autoColours": "balanced"}, None),
            (self.work / "cat.png", {"crop": [40, 20], "offsets": [0, 0, 30]}, None),
            (self.work / "cat.png", {"autoColours": "calm", "dither": "none"}, None),
            (self.work / "astronaut.gif", {"scale": 70, "crop": [100, 50]}, None),
            (self.work / "astronaut.bmp", {"offsets": [-30, 0, 20], "dither": "low-flicker"}, None),
            (self.work / "astronaut.webp", {"scale": "fit", "colours": [0, 11, 12, 15, 1]}, None),
            # Every option of the table by the command line's names: aliases, flags, names of
            # colours, a goal left to its default.
            (DATA / "astronaut.jpg", {"colors": ["blue", "white", "light-red", "grey", 7],
                                      "noDither": True, "offsets": ["+5", -5, 0]}, None),
            (DATA / "hubble.jpg", {"autoColors": True, "crop": "0,0", "scale": "100%"}, None),
            # Colours per cell, packed programs and assembler sources.
            (DATA / "astronaut.jpg", {"perCell": "calm", "crop": [130, 0]}, None),
            (DATA / "coffee.jpg", {"pack": True, "machine": "ntsc", "asmSyntax": "acme"}, None),
            (DATA / "hubble.jpg", {"pack": "no", "asmSyntax": "kickass", "perCell": True}, None),
            # Another palette, the mix as light, and both with the searches.
            (DATA / "coffee.jpg", {"palette": "colodore"}, None),
            (DATA / "astronaut.jpg", {"mix": "light", "dither": "low-flicker"}, None),
            (DATA / "chelsea.jpg", {"palette": "vice", "mix": "light", "autoColours": "faithful"},
             None),
        ]
        for picture, options, arguments in cases:
            with self.subTest(picture=picture.name, options=options):
                if arguments is None:
                    arguments = command_line(options)
                with tempfile.TemporaryDirectory() as folder:
                    files, printed, errors, status = run_cli(picture, arguments, folder)
                self.assertEqual(status, 0, errors)
                result = self.convert_in_page(picture, {**options, "file": picture.name})
                self.assertNotIn("error", result, result.get("error"))
                for kind in OUTPUTS:
                    self.assertEqual(base64.b64decode(result[kind]), files[kind], kind)
                if "autoColours" in options or "autoColors" in options:
                    self.assertEqual(",".join(map(str, result["colours"])), printed.split()[0])
                elif "perCell" in options:
                    # The sprite colours found, beside the cells.
                    sprites = [result["colours"][2], result["colours"][4]]
                    self.assertEqual(",".join(map(str, sprites)), printed.split()[0])

    def test_bad_input_is_refused_with_the_command_lines_message(self):
        png = (self.work / "cat.png").read_bytes()
        cases = [
            # bytes or a picture, page options, command-line options, whether the page reads
            # the option itself (its message then names it by the page's key: --auto-colours
            # is autoColours)
            (b"not a picture at all", {}, [], False),
            (png[:len(png) // 2], {}, [], False),  # libpng's own failure, through its longjmp
            (DATA / "coffee.jpg", {"crop": [5000, 0]}, ["--crop", "5000,0"], False),
            (DATA / "coffee.jpg", {"scale": 9}, ["--scale", "9"], False),
            (DATA / "coffee.jpg", {"offsets": [0, 0, 300]}, ["--offsets", "0,0,300"], True),
            (DATA / "coffee.jpg", {"dither": "ordered"}, ["--dither", "ordered"], True),
            (DATA / "coffee.jpg", {"machine": "vic20"}, ["--machine", "vic20"], True),
            (DATA / "coffee.jpg", {"colours": [0, 1, 2, 3, 99]}, ["--colours", "0,1,2,3,99"], True),
            (DATA / "coffee.jpg", {"crop": [[1], 2]}, ["--crop", "[1],2"], True),
            (DATA / "coffee.jpg", {"noDither": "yes"}, ["--no-dither=yes"], True),
            (DATA / "coffee.jpg", {"palette": "Colodore"}, ["--palette", "Colodore"], True),
            (DATA / "coffee.jpg", {"mix": "bright"}, ["--mix", "bright"], True),
            (DATA / "coffee.jpg", {"colours": [0, 1, 2, 3, 4], "autoColours": "calm"},
             ["--colours", "0,1,2,3,4", "--auto-colours=calm"], True),
        ]
        for number, (picture, options, arguments, read_by_page) in enumerate(cases):
            with self.subTest(options=options, case=number):
                if isinstance(picture, bytes):
                    path = self.work / f"bad{number}.png"
                    path.write_bytes(picture)
                    picture = path
                with tempfile.TemporaryDirectory() as folder:
                    files, _, errors, status = run_cli(picture, arguments, folder)
                self.assertNotEqual(status, 0)
                self.assertEqual(files, {})
                message = errors.splitlines()[0].removeprefix("vantrel-convert: ")
                if read_by_page:
                    message = re.sub(r"--([a-z-]+)", lambda name: page_key(name.group(1)), message)
                result = self.convert_in_page(picture, {**options, "file": str(picture)})
                self.assertEqual(result.get("error"), message)

    def test_page_controls(self):
        driver = self.driver
        driver.get(self.url)
        wait = WebDriverWait(driver, 120)
        wait.until(lambda d: d.find_element(By.TAG_NAME, "body").get_attribute("data-ready"))
        picture = DATA / "coffee.jpg"
        driver.find_element(By.ID, "file").send_keys(str(picture))
        wait.until(lambda d: not d.find_element(By.ID, "convert").get_property("disabled"))
        lit = driver.execute_script("""
            const c = document.getElementById('preview');
            const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
            let n = 0; for (let i = 0; i < d.length; i += 4) n += d[i] + d[i + 1] + d[i + 2] > 0;
            return n;""")
        self.assertGreater(lit, 192 * 200 // 2, "the preview shows the picture")

        mixes = "return [...document.querySelectorAll('#mixes .swatch')].map(s => s.style.background)"
        before = driver.execute_script(mixes)
        driver.find_element(By.CSS_SELECTOR, "#roles input[value='1']").click()
        driver.find_element(By.CSS_SELECTOR, "#palette button[data-index='5']").click()
        wait.until(lambda d: d.execute_script(mixes) != before)
        self.assertEqual(driver.find_element(By.ID, "role-label-1").text, "Bitmap 1: green")
        self.assertEqual(len(set(driver.execute_script(mixes))), 9)

        # Saves, as the command line makes them: converted again with the colour picked, then in
        # another palette and mix, then Auto Colors (the search in its own worker) with a goal.
        model = ["--palette", "colodore", "--mix", "light"]
        steps = [
            (lambda: driver.find_element(By.ID, "convert").click(), ["--colours", "0,5,3,7,10"]),
            (lambda: self.choose_model("colodore", "light", "rgb(150, 40, 46)"),
             ["--colours", "0,5,3,7,10", *model]),
            (lambda: self.auto_colours("balanced"), ["--auto-colours=balanced", *model]),
        ]
        for step, arguments in steps:
            with self.subTest(arguments=arguments):
                step()
                saved = self.downloads / "coffee.prg"
                saved.unlink(missing_ok=True)
                driver.find_element(By.CSS_SELECTOR, ".downloads button[data-kind='exe']").click()
                WebDriverWait(driver, 30).until(lambda d: saved.exists() and saved.stat().st_size > 0)
                time.sleep(0.5)  # the download renamed into place, whole
                with tempfile.TemporaryDirectory() as folder:
                    files, _, errors, status = run_cli(picture, arguments, folder)
                self.assertEqual(status, 0, errors)
                self.assertEqual(saved.read_bytes(), files["exe"])

    def test_layout_fits_a_phone_and_a_desktop(self):
        """At a phone's width and a desktop's, with a picture open: nothing is wider than the
        window, every control lies inside it, the views keep the picture's shape and the status
        is in sight. With VANTREL_SCREENSHOTS set, a screenshot of each lands in that folder."""
        driver = self.driver
        screenshots = os.environ.get("VANTREL_SCREENSHOTS")
        for width, height, mobile in ((390, 844, True), (1400, 1000, False)):
            with self.subTest(size=f"{width} x {height}"):
                driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
                    "width": width, "height": height, "deviceScaleFactor": 1, "mobile": mobile})
                try:
                    driver.get(self.url)
                    wait = WebDriverWait(driver, 120)
                    wait.until(lambda d: d.find_element(By.TAG_NAME, "body").get_attribute("data-ready"))
                    driver.find_element(By.ID, "file").send_keys(str(DATA / "astronaut.jpg"))
                    wait.until(lambda d: not d.find_element(By.ID, "convert").get_property("disabled"))
                    layout = driver.execute_script(LAYOUT)
                    if screenshots:
                        driver.save_screenshot(str(Path(screenshots) / f"page-{width}x{height}.png"))
                    # Scrolled to the save buttons, the status is still in sight.
                    driver.execute_script("window.scrollTo(0, document.documentElement.scrollHeight)")
                    scrolled = driver.execute_script(
                        "const r = document.getElementById('status').getBoundingClientRect();"
                        "return [r.top, r.bottom, window.scrollY];")
                finally:
                    driver.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})
                self.assertEqual(layout["innerWidth"], width)
                self.assertLessEqual(layout["scrollWidth"], width)
                self.assertEqual(layout["outside"], [])
                for view in ("source", "preview"):
                    shown = layout[view]
                    self.assertAlmostEqual(shown["height"] / shown["width"], 200 / 192, delta=0.01)
                    self.assertLessEqual(shown["width"], 384)
                    self.assertGreater(shown["width"], 0.8 * min(384, width - 60), view)
                # The vertical crop slider runs along the source view's side.
                self.assertLess(abs(layout["cropTop"]["height"] - layout["sourceBox"]["height"]), 2)
                status = layout["status"]
                self.assertTrue(status["text"].startswith("astronaut.jpg: 512 x 512"), status["text"])
                for top, bottom in ((status["top"], status["bottom"]), scrolled[:2]):
                    self.assertGreaterEqual(top, 0)
                    self.assertLessEqual(bottom, height)
                if width < 1000:
                    self.assertGreater(scrolled[2], height, "the page was scrolled")

    def choose_model(self, palette, mix, red):
        """Picks the mix, then the palette; once the palette's red swatch shows `red`, Convert."""
        driver = self.driver
        driver.find_element(By.CSS_SELECTOR, f"#mix option[value='{mix}']").click()
        driver.find_element(By.CSS_SELECTOR, f"#palette-name option[value='{palette}']").click()
        shown = "return document.querySelector(\"#palette button[data-index='2']\").style.background"
        WebDriverWait(driver, 30).until(lambda d: d.execute_script(shown) == red)
        driver.find_element(By.ID, "convert").click()

    def auto_colours(self, goal):
        driver = self.driver
        driver.find_element(By.CSS_SELECTOR, f"#goal option[value='{goal}']").click()
        driver.find_element(By.ID, "auto").click()
        WebDriverWait(driver, 300).until(
            lambda d: d.find_element(By.ID, "status").text.startswith(f"Auto Colors ({goal}):"))


def page_key(name):
    """The page's key of a command-line option: auto-colours is autoColours."""
    first, *rest = name.split("-")
    return first + "".join(part.capitalize() for part in rest)
# Where the page's parts lie: the controls outside the window, the views' picture sizes and
# the status's place.
LAYOUT = """
const inside = (r) => r.left >= -0.5 && r.right <= window.innerWidth + 0.5;
const outside = [];
for (const e of document.querySelectorAll('input, select, button, canvas, output, progress, label, '
                                          + 'fieldset, figure, h1, h2, p')) {
  const r = e.getBoundingClientRect();
  if (r.width > 0 && !inside(r)) outside.push(`${e.tagName} ${e.id || e.className} ${r.left}..${r.right}`);
}
const content = (id) => {
  const e = document.getElementById(id), r = e.getBoundingClientRect(), s = getComputedStyle(e);
  const across = parseFloat(s.borderLeftWidth) + parseFloat(s.borderRightWidth);
  const down = parseFloat(s.borderTopWidth) + parseFloat(s.borderBottomWidth);
  return {width: r.width - across, height: r.height - down};
};
const box = (id) => document.getElementById(id).getBoundingClientRect();
const status = document.getElementById('status');
return {innerWidth: window.innerWidth, scrollWidth: document.documentElement.scrollWidth, outside,
        source: content('source'), preview: content('preview'), sourceBox: box('source'),
        cropTop: box('crop-top'),
        status: {text: status.textContent, top: box('status').top, bottom: box('status').bottom}};
"""


def command_line(options):
    """The command line's options for the page API's: the same names, with dashes."""
    arguments = []
    for key, value in options.items():
        option = "--" + re.sub(r"[A-Z]", lambda letter: "-" + letter.group(0).lower(), key)
        if value is True:
            arguments.append(option)
        elif isinstance(value, list):
            arguments.append(f"{option}={','.join(map(str, value))}")
        else:
            arguments.append(f"{option}={value}")
    return arguments


if __name__ == "__main__":
    result = unittest.main(argv=sys.argv[:1], exit=False, verbosity=2).result
    failed = len(result.failures) + len(result.errors)
    print(f"web: {result.testsRun - failed} passed, {failed} failed")
    sys.exit(1 if failed else 0)
