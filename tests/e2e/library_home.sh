# Sourced by the runners that build a test library: make_library_home HOME
# COMPILER_NAME WORK makes WORK/home, a copy of the installation in which the
# compiler (a real copy: it finds its installation from its own path) and
# the library folder are the test's own, everything else linked.
make_library_home() {
    home="$1"; compiler_name="$2"; work="$3"
    mkdir -p "$work/home/Compilers" "$work/home/ZandLibraries"
    for entry in "$home"/*; do
        [ "$(basename "$entry")" = Compilers ] || [ "$(basename "$entry")" = ZandLibraries ] || ln -s "$entry" "$work/home/"
    done
    for entry in "$home"/Compilers/*; do ln -s "$entry" "$work/home/Compilers/"; done
    rm "$work/home/Compilers/$compiler_name"
    cp "$home/Compilers/$compiler_name" "$work/home/Compilers/"
    for entry in "$home"/ZandLibraries/*; do ln -s "$entry" "$work/home/ZandLibraries/"; done
}

# forge_test_library WORK DATA NAME CLANG: compiles DATA/NAME.c with the
# Windows clang and turns it and DATA/NAME.desc into a library of WORK/home.
forge_test_library() {
    work="$1"; data="$2"; name="$3"; clang="$4"
    mkdir -p "$work/library"
    cp "$data/$name.desc" "$work/library/"
    "$clang" --target=x86_64-pc-windows-msvc -O2 -ffreestanding -c "$data/$name.c" -o "$work/library/$name.obj" || return 1
    (cd "$work/library" && "$work/home/Compilers/Zandforge" "$name.desc" /TO "$work/home/ZandLibraries/" /NOLOG) ||
        { echo "Zandforge failed"; return 1; }
    [ -f "$work/home/ZandLibraries/$name" ] || { echo "no library file"; return 1; }
}
