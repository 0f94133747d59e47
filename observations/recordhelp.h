#ifndef RECORDHELP_H
#define RECORDHELP_H

#include "recordcatalogue.h"

#include <QString>

// What the catalogue tells a surveyor about a record and its fields: the names, columns and units
// the field editor and the status line show, and the record pages of the help, all read from the
// catalogue itself so that they cannot drift from what the field editor writes.

// The field's caption without its closing colon, as it reads in a sentence ("Observation").
QString fieldName(const FieldSpec &field);

// "col. 50–64", or "col. 7" for a field of one column.
QString fieldColumns(const FieldSpec &field);

// The unit the value of field `index` of `type` is written in; empty for names, codes, flags and
// choices, which have none.
QString fieldUnit(const RecordType &type, int index);

// Index of the field of `type` whose columns hold `column` (counted from 1), or -1.
int fieldAtColumn(const RecordType &type, int column);

// The status line's reading of the character at `column` (from 1) of `line`: the record's code
// and the field there ("DIST · Observation, col. 50–64"), the code and the record's description
// on columns 1 to 5, the code and the column between fields. Empty for an include line and for a
// line whose code the catalogue does not know (comments, empty lines).
QString fieldReadout(const RecordCatalogue &catalogue, const QString &line, int column);

// The addresses of the help's record index and of a record's page, and the code such an address
// names (empty for any other address).
QString recordIndexAddress();
QString recordPageAddress(const QString &code);
QString recordPageCode(const QString &address);

// The help page listing every record type with its description and whether the engine reads it,
// each code linking to its record page.
QString recordIndexHtml(const RecordCatalogue &catalogue);

// The help page of one record type: its description, whether the engine reads it, and a table of
// its code and fields with their columns, widths, units and explanations.
QString recordPageHtml(const RecordType &type);

#endif // RECORDHELP_H
