#include "app/main_window/command_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "app/main_window/main_frame.h"

namespace plm::app {

namespace {

using Draw = void (*)(QPainter&);

QIcon drawn(Draw draw) {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 32.0, size / 32.0);
        draw(p);
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

void drawProgram(QPainter& p) {
    p.setPen(QPen(QColor(20, 60, 110), 1.5));
    p.setBrush(QColor(225, 236, 250));
    p.drawRoundedRect(QRectF(2, 2, 28, 28), 5, 5);
    QPainterPath trace;
    trace.moveTo(5, 22);
    trace.lineTo(11, 22);
    trace.lineTo(11, 10);
    trace.lineTo(20, 10);
    trace.lineTo(20, 22);
    trace.lineTo(27, 22);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(200, 30, 30), 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(trace);
}

void drawSheet(QPainter& p) {
    p.setPen(QPen(Qt::black, 1.2));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(6, 3, 20, 26));
    for (int y = 9; y <= 23; y += 5)
        p.drawLine(QPointF(10, y), QPointF(22, y));
}

void drawEdit(QPainter& p) {
    drawSheet(p);
    p.setPen(QPen(QColor(30, 90, 200), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(14, 26), QPointF(28, 10));
}

void drawDisplay(QPainter& p) {
    drawSheet(p);
    p.setPen(QPen(QColor(30, 120, 60), 2.5));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(19, 18), 6, 6);
    p.drawLine(QPointF(23.5, 22.5), QPointF(29, 28));
}

void drawTransfer(QPainter& p) {
    p.setPen(QPen(Qt::black, 1.2));
    p.setBrush(QColor(200, 200, 200));
    p.drawRect(QRectF(3, 4, 12, 16));
    p.setBrush(QColor(180, 220, 255));
    p.drawRect(QRectF(17, 12, 12, 16));
    p.setPen(QPen(QColor(200, 30, 30), 2.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(10, 24), QPointF(15, 28));
    p.drawLine(QPointF(5, 28), QPointF(15, 28));
}

void drawText(QPainter& p) {
    drawSheet(p);
    QFont f = p.font();
    f.setPixelSize(9);
    f.setBold(true);
    p.setFont(f);
    p.setPen(QColor(30, 120, 60));
    p.drawText(QRectF(6, 10, 20, 12), Qt::AlignCenter, "CSV");
}

void drawPrint(QPainter& p) {
    p.setPen(QPen(Qt::black, 1.2));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(9, 3, 14, 10));
    p.setBrush(QColor(170, 170, 170));
    p.drawRoundedRect(QRectF(3, 12, 26, 11), 2, 2);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(9, 19, 14, 10));
}

void drawSettings(QPainter& p) {
    p.setPen(QPen(QColor(60, 60, 60), 4, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 8; ++i) {
        p.save();
        p.translate(16, 16);
        p.rotate(45.0 * i);
        p.drawLine(QPointF(0, 9), QPointF(0, 13));
        p.restore();
    }
    p.setPen(QPen(QColor(60, 60, 60), 2));
    p.setBrush(QColor(200, 200, 200));
    p.drawEllipse(QPointF(16, 16), 9, 9);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(16, 16), 3.5, 3.5);
}

void drawAbout(QPainter& p) {
    p.setPen(QPen(QColor(20, 60, 160), 1.5));
    p.setBrush(QColor(220, 230, 255));
    p.drawEllipse(QPointF(16, 16), 13, 13);
    QFont f = p.font();
    f.setPixelSize(18);
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRectF(3, 3, 26, 26), Qt::AlignCenter, "?");
}

// A step trace between two arrows pointing at the ends of the record.
void drawWholeRecord(QPainter& p) {
    p.setPen(QPen(Qt::black, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF({QPointF(6, 20), QPointF(12, 20), QPointF(12, 12), QPointF(20, 12),
                              QPointF(20, 20), QPointF(26, 20)}));
    p.setPen(QPen(QColor(30, 90, 200), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(QPointF(3, 26), QPointF(29, 26));
    p.drawPolyline(QPolygonF({QPointF(7, 23), QPointF(3, 26), QPointF(7, 29)}));
    p.drawPolyline(QPolygonF({QPointF(25, 23), QPointF(29, 26), QPointF(25, 29)}));
    p.drawLine(QPointF(3, 4), QPointF(3, 29));
    p.drawLine(QPointF(29, 4), QPointF(29, 29));
}

}  // namespace

QIcon programIcon() {
    static const QIcon icon = drawn(drawProgram);
    return icon;
}

QIcon commandIcon(int commandId) {
    struct Entry {
        int id;
        const char* theme;
        Draw draw;
    };
    static const Entry entries[] = {
        {ID_EDIT_DATA, "document-edit", drawEdit},
        {ID_DISPLAY_DATA, "document-preview", drawDisplay},
        {ID_TRANSFER_DATA, "document-import", drawTransfer},
        {ID_TEXT_OUT, "text-csv", drawText},
        {ID_FILE_PRINT, "document-print", drawPrint},
        {ID_ENV_SETTING, "preferences-system", drawSettings},
        {ID_APP_ABOUT, "help-about", drawAbout},
        {ID_ZOOM_WHOLE, "zoom-fit-best", drawWholeRecord},
    };
    for (const Entry& e : entries) {
        if (e.id == commandId)
            return QIcon::fromTheme(e.theme, drawn(e.draw));
    }
    return {};
}

}  // namespace plm::app
