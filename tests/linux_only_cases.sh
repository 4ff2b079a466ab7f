#!/bin/sh
# Prints, as a GoogleTest negative filter, the cases of the given test files
# that need what only the Linux stand-in has: the GL call recorder, the
# device hooks (installed pixel formats, desktop depth, injected failures,
# palette and object inspection), dlsym, popen (Linux programs), or /proc.
#   linux_only_cases.sh FILE...
awk '
    /^TEST(_F)?\(/ {
        line = $0
        sub(/^TEST(_F)?\(/, "", line)
        split(line, parts, /, */)
        name = parts[1] "." parts[2]
        sub(/\).*/, "", name)
        next
    }
    name != "" && /recorder::|ZqSetPixelFormats|ZqSetDesktopDepth|ZqInjectFailure|ZqGetPalette|ZqGetSelectedPalette|ZqGetDefaultPalette|ZqGetRealizeCount|ZqLiveObjects|InstallFormats|Holdings|dlsym|popen|\/proc\// {
        if (!(name in seen)) { seen[name] = 1; list = list (list == "" ? "" : ":") name }
    }
    END { print "-" list }
' "$@"
