#pragma once

#include <QByteArray>
#include <QString>

// `count` Intel HEX data records of sixteen zero bytes from address 0, without
// an end record.
inline QByteArray ZeroRecords(int count) {
    QByteArray text;
    for (int a = 0; a < 16 * count; a += 16)
        text += QString::asprintf(":10%04X00%s%02X\r\n", a, QByteArray(32, '0').constData(),
                                  (0x100 - ((16 + (a >> 8) + (a & 0xFF)) & 0xFF)) & 0xFF)
                    .toLatin1();
    return text;
}
