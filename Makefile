# Thin wrapper over the CMake presets.
.PHONY: run build check windows clean

build:
	cmake --preset default
	cmake --build --preset default

run: build
	./build/default/Ostrel

check:
	./scripts/check.sh

windows:
	cmake --preset windows
	cmake --build --preset windows

clean:
	rm -rf build
