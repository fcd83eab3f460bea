# tovan_channel: embedding declarations, messenger, method channel, registrars, engine and view.
