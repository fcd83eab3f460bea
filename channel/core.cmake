# tovan_channel_core: values, method calls and results, codecs.
