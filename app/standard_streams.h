// A launcher may start the game with standard input, output or error closed.
// The next file opened would then take that descriptor: the window system's
// connection, say, which every line printed to stderr would corrupt.
#pragma once

// Opens each closed standard descriptor on the null device. Called first
// thing in main(), before SDL or anything else opens a file.
void openClosedStandardStreams();
