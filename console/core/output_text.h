// Remote output and text files as text on screen.  The bytes themselves stay as they are (results,
// output.txt, log.txt); only what the window shows is decoded.
#pragma once

#include <QString>

#include <string_view>

namespace corvane {

// Bytes as the text a window shows.
//
// Line breaks first: CR LF, CR CR LF (any CRs followed by LF), a lone CR and a lone LF each
// become one line break.
//
// Then each line on its own: a line that is valid UTF-8 is shown as UTF-8, any other line shows
// each byte as its Latin-1 character ("\xA7" is "§").  Deciding per line keeps one stray byte
// (a Latin-1 file name in a listing of UTF-8 ones) from turning the whole output into mojibake,
// and a line of plain ASCII reads the same either way.  Valid UTF-8 is the strict form: no
// overlong forms, no UTF-16 surrogates (U+D800..U+DFFF), nothing above U+10FFFF.
//
// `cutAtEnd`: the bytes are the start of a longer output, cut at a byte count, so the end may
// stop inside a UTF-8 character: when the bytes there are the start of a valid character and the
// line is valid UTF-8 up to them, the line stays UTF-8 and the cut character shows as one U+FFFD.
// Without a cut (and always before a line break or in the middle of the text) the same bytes are
// invalid, so a Latin-1 text that ends in, say, "\xE9" shows its last character as it is.
QString OutputText(std::string_view bytes, bool cutAtEnd = false);

}  // namespace corvane
