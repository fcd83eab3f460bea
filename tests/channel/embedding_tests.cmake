# Tests of the messenger, method channel, registrars, engine and view wrappers.
