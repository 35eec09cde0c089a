# Sourced first by the scripts that run Windows programs under Wine: runs the
# script again with address randomisation off, for itself and every process
# it starts.
#
# Debian's 64-bit Wine loader has no preloader: the kernel puts its heap at a
# random place up to 1 GB above the loader (0x7d000000), and about one start
# in 2000 that heap covers the page every Windows process shares with the
# system (0x7ffe0000). Wine then ends with status 1 before the program runs
# ("failed to map the shared user data"), which a test reads as the
# program's failure. Without randomisation the heap follows the loader
# directly. Where the personality cannot be set (a container that forbids
# it), the script goes on as it is.
if [ -z "${KLANG_WINE_LAYOUT_FIXED:-}" ]; then
    export KLANG_WINE_LAYOUT_FIXED=1
    if setarch "$(uname -m)" -R true 2>/dev/null; then
        exec setarch "$(uname -m)" -R "$0" "$@"
    fi
fi
