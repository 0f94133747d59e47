#include "placedline.h"

QString placedLine(std::initializer_list<QPair<int, QString>> texts)
{
    QString line;
    for (const auto &text : texts) {
        const int start = text.first - 1;
        if (line.size() < start + text.second.size())
            line = line.leftJustified(start + text.second.size(), QLatin1Char(' '));
        line.replace(start, text.second.size(), text.second);
    }
    return line;
}
