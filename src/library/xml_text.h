#pragma once
// XML files as they come from disk or from another program: the bytes are turned into UTF-8
// by the encoding the file declares, so that the document tree only ever holds UTF-8.
//
// - A byte order mark (UTF-8, UTF-16, UTF-32), UTF-16/32 text starting with "<", or UTF-16
//   text known by the NUL bytes of its first characters (leading line breaks or blanks), decides.
// - Otherwise the encoding named in the XML declaration: any single- or multi-byte encoding
//   the text codecs know (windows-1251, windows-1252, ISO-8859-x, KOI8-R, ...).
// - No declaration, or a UTF/ASCII one: UTF-8. Bytes that are not valid UTF-8 there are taken
//   as windows-1252, the encoding old favourites files were written in without saying so.
//
// Pure functions; any thread.

#include <QByteArray>
#include <QString>

namespace tl {

struct XmlUtf8 {
    bool ok = false;
    QByteArray utf8; // the document as UTF-8 without a byte order mark (when ok)
    QString error;   // why the bytes could not be decoded (when not ok)
};

XmlUtf8 xmlToUtf8(const QByteArray& data);

// The encoding named in the XML declaration at the start of `data`, empty when none.
QString declaredXmlEncoding(const QByteArray& data);

// `bytes` when they are valid UTF-8; otherwise a copy with every invalid sequence replaced by
// U+FFFD, so that nothing written is ever invalid UTF-8.
QByteArray validUtf8(const QByteArray& bytes);

// A serialised document whose raw CRs in character data are written as "&#13;", so that a text
// holding CR reads back with it: an XML reader turns every raw CR or CR LF into LF. CDATA
// sections, comments and processing instructions are left as they are (a CDATA section read
// from a file holds no CR, and the writers only add plain text); markup written by the
// serialiser never holds a raw CR elsewhere.
QByteArray escapeCarriageReturns(const QByteArray& xml);

} // namespace tl
