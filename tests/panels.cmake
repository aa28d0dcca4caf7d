# Tests of the panels folder.
