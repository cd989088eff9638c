# Sourced by the demo and the benchmark: windows_path prints the Windows form
# of an absolute POSIX path (drive Z: is the root), as the launcher and the
# benchmark programs take paths.
windows_path() {
    printf 'Z:%s' "${1//\//\\}"
}
