# Tests of the value core and codecs.
