# Tests of the device folder.
