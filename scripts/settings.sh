# Fixed values the scripts share. Plain NAME=value lines, so bash sources this file and other
# languages can read it line by line.
# The virtual screen every headless run uses (scripts/with-xvfb.sh, Xvfb).
VARDENHAL_XVFB_SCREEN="-screen 0 1280x1024x24"
