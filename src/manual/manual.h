#pragma once
// The user manual shown by the help window: plain text with CR LF line breaks, generated
// at build time from manual.txt (which also gives the man pages).

extern const char helpDocument[];
