# Vardenhal Updater: see README.md.
.PHONY: check demo bench release clean

check:
	@bash scripts/check.sh

demo:
	@bash scripts/demo.sh

bench:
	@bash scripts/bench.sh

# make release ROOT=https://updates.example.net [KEY=...] [SIGN_PFX=... SIGN_PASS_FILE=... TIMESTAMP_URL=...]
release:
	@ROOT='$(ROOT)' KEY='$(KEY)' SIGN_PFX='$(SIGN_PFX)' SIGN_PASS_FILE='$(SIGN_PASS_FILE)' \
	    TIMESTAMP_URL='$(TIMESTAMP_URL)' bash scripts/release.sh

clean:
	rm -rf build out
