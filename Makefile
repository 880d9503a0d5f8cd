# Conveniences over the scripts and presets; the scripts work without make.
.PHONY: run build check quick package windows clean

run:
	sh scripts/run.sh

build:
	cmake --preset release
	cmake --build --preset release

check:
	bash scripts/check.sh

quick:
	bash scripts/check.sh quick

package: build
	cpack --preset release

windows:
	cmake --preset windows-release
	cmake --build --preset windows-release
	cpack --preset windows-release

clean:
	rm -rf build
