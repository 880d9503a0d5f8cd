#!/bin/sh
# Copies the tree's tracked files and the new ones not ignored, as a fresh
# clone with the working tree's changes would have them (a tree without
# history: everything but build/).
# Usage: copy_tree.sh SOURCE DEST
set -eu
mkdir -p "$2"
if git -C "$1" rev-parse --git-dir >/dev/null 2>&1; then
    git -C "$1" ls-files -z --cached --others --exclude-standard |
        (cd "$1" && xargs -0 cp --parents -t "$2")
else
    tar -C "$1" --exclude=./build -cf - . | tar -C "$2" -xf -
fi
