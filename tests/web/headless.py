"""The site served from localhost and headless Chromium driving it, for the page's tests and
its benchmark."""
import contextlib
import socket
import subprocess
import sys
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service


@contextlib.contextmanager
def served(site):
    """Serves `site` on a free local port for the block; yields its URL."""
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        port = probe.getsockname()[1]
    server = subprocess.Popen(
        [sys.executable, "-m", "http.server", str(port), "--bind", "127.0.0.1", "-d", str(site)],
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        for _ in range(100):
            with contextlib.suppress(OSError), socket.create_connection(("127.0.0.1", port), 0.1):
                break
            time.sleep(0.05)
        yield f"http://127.0.0.1:{port}/"
    finally:
        server.terminate()
        server.wait(10)


def browser(script_timeout, downloads=None):
    """Headless Chromium; downloads land in `downloads` without a question when given."""
    options = webdriver.ChromeOptions()
    for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage"):
        options.add_argument(flag)
    if downloads is not None:
        options.add_experimental_option("prefs", {"download.default_directory": str(downloads),
                                                  "download.prompt_for_download": False})
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    driver.set_script_timeout(script_timeout)
    return driver
