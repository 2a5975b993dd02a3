# Fixed values the scripts share. Plain NAME=value lines, so bash sources this file and other
# languages can read it line by line.
# The update server port compiled into the trees of make check and make demo.
VARDENHAL_E2E_PORT=47443
# The virtual screen every headless run uses (xvfb-run -s, Xvfb).
VARDENHAL_XVFB_SCREEN="-screen 0 1280x1024x24"
