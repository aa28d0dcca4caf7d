# shellcheck shell=bash
# The model names the run scripts take; source this file.
#   model_code NAME   prints the model code of KA1, KA2, KA2SE or KV, or a number as it is;
#                     fails on anything else
model_code() {
    case "$1" in
    KA1 | ka1) echo 1 ;;
    KA2 | ka2) echo 2 ;;
    KA2SE | ka2se | "KA2 SE") echo 18 ;;
    KV | kv) echo 15 ;;
    *[!0-9]* | "") return 1 ;;
    *) echo "$1" ;;
    esac
}
