# libFuzzer targets; their corpora also run as ordinary tests.
