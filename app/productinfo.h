#ifndef PRODUCTINFO_H
#define PRODUCTINFO_H

#include <QString>
#include <QStringList>

// The product's full title, on three lines, as the splash screen writes it.
QStringList productTitleLines();

// The same on one line, for the command line's help.
QString productTitle();

// The three lines as rich text, the letters that spell the product name in bold and in the
// product's red, the lines separated by "<br>".
QString productTitleHtml();

// Who wrote the workbench and where.
QString productAuthorLine();
QString productLaboratoryLine();

#endif // PRODUCTINFO_H
