# Helpers shared by the install tests.

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# 1 for CMake's true values (ON, TRUE, 1, YES), else 0.
is_on() {
    case ${1^^} in
        ON | TRUE | 1 | YES) echo 1 ;;
        *) echo 0 ;;
    esac
}

expect_file() {
    [[ -f $1 && -s $1 ]] || fail "missing or empty: $1"
}

expect_executable() {
    [[ -f $1 && -x $1 ]] || fail "missing or not executable: $1"
}
