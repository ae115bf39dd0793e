#pragma once

// Whether the database driver reaches this program's own connect function,
// the one that has the client library verify a server given an authority
// during the TLS handshake, before the login. False in a program built
// without it exported; then no link with an authority may be opened.
bool handshakeVerifiesServer();
