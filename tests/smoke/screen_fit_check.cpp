// The tool's windows on a real X server's screens: the capture window opens inside the screen's
// available area with the table's header and all 31 rows in view, and where the design fits,
// exactly at its design place and size. On a screen too low even for rows at the height of their
// text, the table shows its header and the latest row, scrolled. Then the throttle plot (at a
// remembered place that straddles two screens or lies off them, when SCREEN_FIT_PLOT_AT=x,y is
// given), a session window, a message box and a file dialog. Every frame is measured as the X
// server has it (the client window's place, and the frame's margins the window manager set), not
// as the toolkit believes it, and must lie in the free area of one screen. Saves a picture of the
// whole screen.
//   screen_fit_check design|inside|scroll <picture.png> [<session file>]
#include <QApplication>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <QWindow>

#include <xcb/xcb.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/MainForm.h"
#include "app/plot/PlotWindow.h"
#include "app/plot/ThrottlePlot.h"
#include "app/session/ui/SessionOpening.h"
#include "app/session/ui/SessionWindow.h"

namespace {

int passed = 0;
int failed = 0;

void Check(bool ok, const char* what) {
    ++(ok ? passed : failed);
    std::printf("%s: %s\n", ok ? "ok" : "FAILED", what);
}

QString Text(const QRect& r) { return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()); }

// Lets the X server and the window settle: every event that is waiting, and the table's frame.
void Settle(TForm1& form) {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents();
    }
    while (form.Table->FrameDue()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// What the X server says, in its own (device) pixels.
class XView {
public:
    XView() {
        auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        FC = x11 != nullptr ? x11->connection() : nullptr;
        if (FC == nullptr) return;
        FRoot = xcb_setup_roots_iterator(xcb_get_setup(FC)).data->root;
        FExtents = Atom("_NET_FRAME_EXTENTS");
        FWorkArea = Atom("_NET_WORKAREA");
        FWmState = Atom("WM_STATE");
    }
    bool Ok() const { return FC != nullptr; }

    // The window manager has taken the window in (WM_STATE set) and told its frame.
    bool Framed(const QWidget& w) const { return Property(Id(w), FWmState, XCB_ATOM_ANY).size() > 0 && Extents(w); }

    std::optional<QMargins> Extents(const QWidget& w) const {
        const std::vector<uint32_t> v = Property(Id(w), FExtents, XCB_ATOM_CARDINAL);
        if (v.size() != 4) return std::nullopt;
        return QMargins(int(v[0]), int(v[2]), int(v[1]), int(v[3]));
    }

    // The client window's place on the screen and its size.
    QRect Client(const QWidget& w) const {
        const xcb_window_t id = Id(w);
        auto* g = xcb_get_geometry_reply(FC, xcb_get_geometry(FC, id), nullptr);
        auto* t = xcb_translate_coordinates_reply(FC, xcb_translate_coordinates(FC, id, FRoot, 0, 0), nullptr);
        QRect r;
        if (g != nullptr && t != nullptr) r = QRect(t->dst_x, t->dst_y, g->width, g->height);
        std::free(g);
        std::free(t);
        return r;
    }

    QRect Frame(const QWidget& w) const { return Client(w).marginsAdded(Extents(w).value_or(QMargins())); }

    // The free area of a screen: the screen less what the window manager keeps for panels.
    QRect FreeArea(const QScreen& screen) const {
        const qreal ratio = screen.devicePixelRatio();
        const QRect g = screen.geometry();
        const QRect device(g.topLeft(), QSize(qRound(g.width() * ratio), qRound(g.height() * ratio)));
        const std::vector<uint32_t> v = Property(FRoot, FWorkArea, XCB_ATOM_CARDINAL);
        if (v.size() < 4) return device;
        return device & QRect(int(v[0]), int(v[1]), int(v[2]), int(v[3]));
    }

private:
    static xcb_window_t Id(const QWidget& w) { return static_cast<xcb_window_t>(w.internalWinId()); }
    xcb_atom_t Atom(const char* name) const {
        auto* r = xcb_intern_atom_reply(FC, xcb_intern_atom(FC, 0, uint16_t(std::strlen(name)), name), nullptr);
        const xcb_atom_t a = r != nullptr ? r->atom : xcb_atom_t{XCB_ATOM_NONE};
        std::free(r);
        return a;
    }
    std::vector<uint32_t> Property(xcb_window_t id, xcb_atom_t atom, xcb_atom_t type) const {
        std::vector<uint32_t> values;
        if (id == 0) return values;
        auto* r = xcb_get_property_reply(FC, xcb_get_property(FC, 0, id, atom, type, 0, 64), nullptr);
        if (r != nullptr && r->format == 32) {
            const auto* v = static_cast<const uint32_t*>(xcb_get_property_value(r));
            values.assign(v, v + xcb_get_property_value_length(r) / 4);
        }
        std::free(r);
        return values;
    }

    xcb_connection_t* FC = nullptr;
    xcb_window_t FRoot = 0;
    xcb_atom_t FExtents = 0, FWorkArea = 0, FWmState = 0;
};

const bool kFramed = qEnvironmentVariableIsSet("SCREEN_FIT_FRAMED");

bool InFreeArea(const XView& x, const QRect& frame) {
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (x.FreeArea(*screen).contains(frame)) return true;
    }
    return false;
}

// Waits until the window is on the screen as the X server has it: shown, framed where a window
// manager runs, and where the toolkit last asked it to be (nothing still on its way) or, for a
// dialog the toolkit places by guessed margins, inside.
bool WaitPlaced(const XView& x, const QWidget& w) {
    return QTest::qWaitFor(
        [&] {
            if (!w.isVisible() || w.windowHandle() == nullptr || !w.windowHandle()->isExposed()) return false;
            if (kFramed && !x.Framed(w)) return false;
            const qreal ratio = w.screen()->devicePixelRatio();
            const QRect client = x.Client(w);
            const QRect asked = w.geometry();
            const auto near = [ratio](int device, int logical) { return std::abs(device / ratio - logical) <= 1.0; };
            if (InFreeArea(x, x.Frame(w)) && !w.inherits("TForm1")) return true;
            return near(client.width(), asked.width()) && near(client.height(), asked.height()) &&
                   std::abs(client.x() - (asked.x() - w.screen()->geometry().x()) * ratio - w.screen()->geometry().x()) <= ratio &&
                   std::abs(client.y() - (asked.y() - w.screen()->geometry().y()) * ratio - w.screen()->geometry().y()) <= ratio;
        },
        60000);  // generous: a loaded machine may take long to start and frame a window
}

// The window's frame, as the X server has it, lies in the free area of a screen.
void CheckInside(const XView& x, const QWidget& w, const char* name) {
    const bool placed = WaitPlaced(x, w);
    const QRect frame = x.Frame(w);
    QRect area;
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (x.FreeArea(*screen).contains(frame)) area = x.FreeArea(*screen);
    }
    std::printf("%s: frame %s (client %s)%s%s\n", name, qPrintable(Text(frame)), qPrintable(Text(x.Client(w))),
                area.isEmpty() ? "" : " in the free area ", area.isEmpty() ? "" : qPrintable(Text(area)));
    if (!placed) {
        std::printf("%s: visible %d, exposed %d, framed %d, asked %s, window %llx\n", name, w.isVisible(),
                    w.windowHandle() != nullptr && w.windowHandle()->isExposed(), x.Framed(w), qPrintable(Text(w.geometry())),
                    static_cast<unsigned long long>(w.internalWinId()));
    }
    Check(placed, (std::string(name) + ": shown and placed").c_str());
    if (kFramed) Check(x.Extents(w).has_value() && !x.Extents(w)->isNull(), (std::string(name) + ": framed by the window manager").c_str());
    Check(!area.isEmpty(), (std::string(name) + ": the whole frame lies in the free area of a screen").c_str());
}

} // namespace

int main(int argc, char** argv) {
    const std::string expect = argc >= 3 ? argv[1] : "";
    if (expect != "design" && expect != "inside" && expect != "scroll") {
        std::fprintf(stderr, "usage: screen_fit_check design|inside|scroll <picture.png> [<session file>]\n");
        return 2;
    }
    QApplication app(argc, argv);
    const XView x;
    if (!x.Ok()) {
        std::fprintf(stderr, "not on an X server\n");
        return 2;
    }

    TForm1::Options options;
    options.portList.sysfsRoot = "/nonexistent-sysfs";  // no port to probe: only the window matters here
    options.portList.extraPortsEnv = "TORVANE_SCREEN_FIT_PORTS";
    TForm1 form(options);
    form.Timer1->stop();
    for (int row = 1; row <= 31; ++row) {
        form.Table->SetCell(0, row, QString::number(row));
        form.Table->SetCell(1, row, QStringLiteral("12:34:56.%1").arg(row * 7, 3, 10, QLatin1Char('0')));
        form.Table->SetCell(2, row, QStringLiteral("%1 R").arg(row));
        form.Table->SetCell(3, row, QStringLiteral("128"));
        form.Table->SetCell(4, row, QStringLiteral("0"));
        form.Table->SetCell(5, row, row % 5 == 0 ? QStringLiteral("Yes") : QStringLiteral("No"));
    }
    form.Table->SetSelection(1, 31);
    form.show();
    CheckInside(x, form, "capture window");
    Settle(form);

    QScreen* screen = form.screen();
    const QRect available = screen->availableGeometry();
    const QRect frame = form.frameGeometry();
    const TStringGrid& table = *form.Table;
    const qreal ratio = screen->devicePixelRatio();
    std::printf("screen %s (available %s) at scale %.2f; window frame %s, client %dx%d (%dx%d physical); "
                "table %s, rows %d high, text %d\n",
                qPrintable(Text(screen->geometry())), qPrintable(Text(available)), ratio, qPrintable(Text(frame)),
                form.width(), form.height(), qRound(form.width() * ratio), qRound(form.height() * ratio),
                qPrintable(Text(table.geometry())), table.RowHeight(), QFontMetrics(table.font()).height());
    std::fflush(stdout);

    Check(available.contains(frame), "the window lies inside the screen's available area, as the toolkit sees it");
    Check(table.geometry().bottom() < form.height() && table.geometry().right() < form.width(),
          "the table lies inside the window");
    const int textHeight = QFontMetrics(table.font()).height();
    if (expect == "scroll") {
        const int rowsShown = table.height() / (table.RowHeight() + 1) - 1;
        Check(table.RowHeight() == textHeight, "the rows are as low as their text");
        Check(table.TopRow() > 1 && table.TopRow() + rowsShown > 31, "the latest row shows under the header");
    } else {
        Check(table.RowCount() * (table.RowHeight() + 1) <= table.height(), "the header and all 31 rows show");
        Check(table.TopRow() == 1, "nothing is scrolled away");
        Check(table.RowHeight() >= textHeight, "no row is lower than its text");
    }
    Check(!table.isEnabled(), "the table stays display-only");
    Check(form.Start->geometry() == QRect(112, 8, 73, 27) && form.Name->geometry() == QRect(431, 8, 66, 21),
          "the other components keep their design places");
    if (expect == "design") {
        Check(form.pos() == QPoint(600, 190), "the design place");
        Check(form.size() == QSize(602, 738), "the design size");
        Check(table.geometry() == QRect(8, 56, 569, 681) && table.RowHeight() == 20, "the design table");
    }

    // The other windows, over the capture window; not on a screen lower than their least sizes.
    const bool others = expect != "scroll";
    plot::ThrottlePlot plot(form);
    if (const QByteArray at = qgetenv("SCREEN_FIT_PLOT_AT"); !at.isEmpty()) {
        const QList<QByteArray> xy = at.split(',');
        plot.Window().move(xy.value(0).toInt(), xy.value(1).toInt());  // as a remembered place is restored
    }
    if (others && !plot.Window().isVisible()) plot.Toggle();
    if (others) CheckInside(x, plot.Window(), "plot window");
    session::ui::SessionOpener sessions(form);
    if (others && argc > 3) {
        session::ui::SessionWindow* window = nullptr;
        bool opened = false;
        sessions.OnOpeningEnded = [&](const std::filesystem::path&, session::ui::SessionWindow* w) {
            window = w;
            opened = true;
        };
        sessions.Open(std::filesystem::path(argv[3]));
        Check(QTest::qWaitFor([&] { return opened; }, 30000) && window != nullptr, "the session opens");
        if (window != nullptr) {
            // Read, with every table filled: the window's least size is what it will be.
            Check(QTest::qWaitFor([&] { return window->GetState() != session::ui::SessionWindow::State::Loading; }, 30000),
                  "the session is read");
            CheckInside(x, *window, "session window");
        }
    }
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Open session"), QStringLiteral("A message over the capture window"),
                    QMessageBox::Ok, &form);
    QFileDialog dialog(&form, QStringLiteral("Save table"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (others) {
        box.show();
        CheckInside(x, box, "message box");
        dialog.show();
        CheckInside(x, dialog, "file dialog");
    }
    Settle(form);

    const QRect desktop = screen->virtualGeometry();
    if (!screen->grabWindow(0, desktop.x(), desktop.y(), desktop.width(), desktop.height()).save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "could not save %s\n", argv[2]);
        ++failed;
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
