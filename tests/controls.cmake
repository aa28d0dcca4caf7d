# Tests of the controls folder.
