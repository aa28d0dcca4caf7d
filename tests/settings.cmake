# Tests of the settings folder.
