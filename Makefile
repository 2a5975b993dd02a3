# Vardenhal Updater: see README.md.
.PHONY: check demo bench clean

check:
	@bash scripts/check.sh

demo:
	@bash scripts/demo.sh

bench:
	@bash scripts/bench.sh

clean:
	rm -rf build out
