// Layout of the version block that the build embeds in each executable (see
// cmake/VersionBlock.cmake). Plain macros: the generated block source includes this header too,
// so both sides agree on one definition.
//
// The block is the whole content of the ELF section VELKARO_VERSION_SECTION:
//   VELKARO_VERSION_MAGIC, NUL,
//   entries "path=value", each ended by NUL,
//   an empty entry (a lone NUL) that ends the list; bytes after it are padding.
// Paths follow the version resource of the Windows build: "\VarFileInfo\Translation" holds the
// first translation as eight hexadecimal digits (language, then code page), and each string lives
// at "\StringFileInfo\<language><code page>\<key>".
#pragma once

#define VELKARO_VERSION_SECTION ".velkaro_version"
#define VELKARO_VERSION_MAGIC "VELKARO-VERSION-BLOCK-1"
