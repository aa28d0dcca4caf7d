# End-to-end tests with the real OrvelinDriver and orvelin-emulator processes.
