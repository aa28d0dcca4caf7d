# Tests of the app folder.
orvelin_add_qtest(tst_SoundPanel app/tst_SoundPanel.cpp)
orvelin_add_qtest(tst_SingleInstanceGuard app/tst_SingleInstanceGuard.cpp)
orvelin_add_qtest(tst_TerminationWatcher app/tst_TerminationWatcher.cpp)
