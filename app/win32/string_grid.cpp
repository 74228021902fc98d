#include "app/win32/string_grid.h"

#include <windowsx.h>

#include <algorithm>
#include <numeric>

#include "app/win32/win32_text.h"

namespace app::win32 {
namespace {

constexpr wchar_t kClassName[] = L"TorvaneStringGrid";
constexpr int kLine = 1;        // grid line width
constexpr int kTextMargin = 2;  // left of a cell's text

}  // namespace

StringGrid::StringGrid(HWND parent, int id, const RECT& bounds, const std::vector<int>& columnWidths, int rows,
                       int rowHeight)
    : widths_(columnWidths),
      cells_(static_cast<std::size_t>(rows), std::vector<std::string>(columnWidths.size())),
      rowHeight_(rowHeight) {
    // Registered once per process; until this object is attached to its
    // window below, the procedure leaves every message to DefWindowProcW.
    static const bool registered = [] {
        WNDCLASSEXW cls{};
        cls.cbSize = sizeof cls;
        cls.style = CS_DBLCLKS;
        cls.lpfnWndProc = &StringGrid::WindowProc;
        cls.hInstance = GetModuleHandleW(nullptr);
        cls.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        cls.lpszClassName = kClassName;
        return RegisterClassExW(&cls) != 0;
    }();
    (void)registered;
    window_ = CreateWindowExW(WS_EX_CLIENTEDGE, kClassName, L"",
                              WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL, bounds.left, bounds.top,
                              bounds.right - bounds.left, bounds.bottom - bounds.top, parent,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    UpdateScrollBars();
}

StringGrid::~StringGrid() {
    if (window_ != nullptr && IsWindow(window_)) {
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
}

LRESULT CALLBACK StringGrid::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* grid = reinterpret_cast<StringGrid*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (grid == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        grid->window_ = nullptr;
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return grid->OnMessage(message, wParam, lParam);
}

LRESULT StringGrid::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SETFONT:
        font_ = reinterpret_cast<HFONT>(wParam);
        if (LOWORD(lParam)) InvalidateRect(window_, nullptr, TRUE);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(font_);
    case WM_ERASEBKGND:
        return 1;  // painted whole, off-screen, in WM_PAINT
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window_, &ps);
        RECT client;
        GetClientRect(window_, &client);
        // Off-screen first, so that a repaint does not flicker.
        HDC memory = CreateCompatibleDC(dc);
        HBITMAP bitmap = CreateCompatibleBitmap(dc, std::max<LONG>(client.right, 1), std::max<LONG>(client.bottom, 1));
        HGDIOBJ oldBitmap = SelectObject(memory, bitmap);
        Paint(memory, client);
        BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
        SelectObject(memory, oldBitmap);
        DeleteObject(bitmap);
        DeleteDC(memory);
        EndPaint(window_, &ps);
        return 0;
    }
    case WM_SIZE:
        UpdateScrollBars();
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        SetFocus(window_);
        OnClick(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        InvalidateRect(window_, nullptr, FALSE);
        return 0;
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS;
    case WM_KEYDOWN:
        OnKey(wParam);
        return 0;
    case WM_VSCROLL:
        OnScroll(SB_VERT, LOWORD(wParam));
        return 0;
    case WM_HSCROLL:
        OnScroll(SB_HORZ, LOWORD(wParam));
        return 0;
    case WM_MOUSEWHEEL:
        OnScroll(SB_VERT, GET_WHEEL_DELTA_WPARAM(wParam) > 0 ? SB_LINEUP : SB_LINEDOWN);
        return 0;
    default:
        return DefWindowProcW(window_, message, wParam, lParam);
    }
}

void StringGrid::SetCell(int column, int row, const std::string& text) {
    if (column < 0 || column >= ColumnCount() || row < 0 || row >= RowCount()) return;
    cells_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)] = text;
    InvalidateRect(window_, nullptr, FALSE);
}

std::string StringGrid::Cell(int column, int row) const {
    if (column < 0 || column >= ColumnCount() || row < 0 || row >= RowCount()) return {};
    return cells_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
}

void StringGrid::SetRowCount(int rows) {
    cells_.resize(static_cast<std::size_t>(std::max(rows, 0)), std::vector<std::string>(widths_.size()));
    KeepSelectionOnDataRow();
    UpdateScrollBars();
    InvalidateRect(window_, nullptr, FALSE);
}

void StringGrid::SetFixedRows(int rows) {
    fixedRows_ = std::max(rows, 0);
    KeepSelectionOnDataRow();
    UpdateScrollBars();
    InvalidateRect(window_, nullptr, FALSE);
}

void StringGrid::SetColumnWidth(int column, int pixels) {
    if (column < 0 || column >= ColumnCount()) return;
    widths_[static_cast<std::size_t>(column)] = std::max(pixels, 0);
    UpdateScrollBars();
    InvalidateRect(window_, nullptr, FALSE);
}

int StringGrid::ColumnWidth(int column) const {
    return column < 0 || column >= ColumnCount() ? 0 : widths_[static_cast<std::size_t>(column)];
}

void StringGrid::Repaint() {
    InvalidateRect(window_, nullptr, FALSE);
    UpdateWindow(window_);
}

int StringGrid::SelectedRow() const { return selectedRow_ >= fixedRows_ && selectedRow_ < RowCount() ? selectedRow_ : -1; }

void StringGrid::Select(int column, int row) {
    if (column < 0 || column >= ColumnCount() || row < fixedRows_ || row >= RowCount()) return;
    selectedColumn_ = column;
    selectedRow_ = row;
    MakeSelectionVisible();
    InvalidateRect(window_, nullptr, FALSE);
}

// The selection never rests on a fixed row nor beyond the last row.
void StringGrid::KeepSelectionOnDataRow() {
    selectedRow_ = std::clamp(selectedRow_, fixedRows_, std::max(fixedRows_, RowCount() - 1));
    topRow_ = std::clamp(topRow_, fixedRows_, std::max(fixedRows_, LastTopRow()));
}

int StringGrid::VisibleDataRows() const {
    RECT client{};
    GetClientRect(window_, &client);
    const int pitch = rowHeight_ + kLine;
    return std::max(0, (static_cast<int>(client.bottom) - fixedRows_ * pitch) / pitch);
}

int StringGrid::LastTopRow() const { return std::max(fixedRows_, RowCount() - std::max(VisibleDataRows(), 1)); }

int StringGrid::TotalWidth() const { return ColumnLeft(ColumnCount()); }

int StringGrid::ColumnLeft(int column) const {
    return std::accumulate(widths_.begin(), widths_.begin() + column, 0) + kLine * column;
}

// Scrolls both ways until the selected cell is in view (its left edge first
// when it is wider than the control).
void StringGrid::MakeSelectionVisible() {
    const int visible = std::max(VisibleDataRows(), 1);
    if (selectedRow_ < topRow_) topRow_ = selectedRow_;
    if (selectedRow_ >= topRow_ + visible) topRow_ = selectedRow_ - visible + 1;
    KeepSelectionOnDataRow();
    UpdateScrollBars();  // the bars settle the client width used below
    RECT client{};
    GetClientRect(window_, &client);
    const int left = ColumnLeft(selectedColumn_);
    const int right = left + widths_[static_cast<std::size_t>(selectedColumn_)];
    if (right > scrollX_ + client.right) scrollX_ = right - client.right;
    if (left < scrollX_) scrollX_ = left;
    UpdateScrollBars();
}

// Each bar shows only while its content does not fit; showing one narrows
// the room for the other, hence two passes.
void StringGrid::UpdateScrollBars() {
    if (window_ == nullptr) return;
    for (int pass = 0; pass < 2; ++pass) {
        RECT client{};
        GetClientRect(window_, &client);
        SCROLLINFO vertical{};
        vertical.cbSize = sizeof vertical;
        vertical.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
        const int dataRows = std::max(0, RowCount() - fixedRows_);
        const int visible = VisibleDataRows();
        topRow_ = std::clamp(topRow_, fixedRows_, std::max(fixedRows_, LastTopRow()));
        vertical.nMin = 0;
        vertical.nMax = dataRows > visible ? dataRows - 1 : 0;
        vertical.nPage = dataRows > visible ? static_cast<UINT>(visible) : 0;
        vertical.nPos = topRow_ - fixedRows_;
        ShowScrollBar(window_, SB_VERT, dataRows > visible);
        SetScrollInfo(window_, SB_VERT, &vertical, TRUE);

        SCROLLINFO horizontal{};
        horizontal.cbSize = sizeof horizontal;
        horizontal.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
        const int width = TotalWidth();
        const bool wide = width > client.right;
        scrollX_ = wide ? std::clamp(scrollX_, 0, width - static_cast<int>(client.right)) : 0;
        horizontal.nMin = 0;
        horizontal.nMax = wide ? width - 1 : 0;
        horizontal.nPage = wide ? static_cast<UINT>(client.right) : 0;
        horizontal.nPos = scrollX_;
        ShowScrollBar(window_, SB_HORZ, wide);
        SetScrollInfo(window_, SB_HORZ, &horizontal, TRUE);
    }
}

void StringGrid::OnScroll(int bar, WORD request) {
    RECT client{};
    GetClientRect(window_, &client);
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_ALL;
    GetScrollInfo(window_, bar, &info);
    if (bar == SB_VERT) {
        const int visible = std::max(VisibleDataRows(), 1);
        int top = topRow_;
        switch (request) {
        case SB_LINEUP: --top; break;
        case SB_LINEDOWN: ++top; break;
        case SB_PAGEUP: top -= visible; break;
        case SB_PAGEDOWN: top += visible; break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: top = fixedRows_ + info.nTrackPos; break;
        case SB_TOP: top = fixedRows_; break;
        case SB_BOTTOM: top = LastTopRow(); break;
        default: return;
        }
        topRow_ = std::clamp(top, fixedRows_, std::max(fixedRows_, LastTopRow()));
    } else {
        int x = scrollX_;
        const int column = widths_.empty() ? 16 : widths_.front();
        switch (request) {
        case SB_LINELEFT: x -= column / 4; break;
        case SB_LINERIGHT: x += column / 4; break;
        case SB_PAGELEFT: x -= client.right; break;
        case SB_PAGERIGHT: x += client.right; break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: x = info.nTrackPos; break;
        default: return;
        }
        scrollX_ = std::clamp(x, 0, std::max(0, TotalWidth() - static_cast<int>(client.right)));
    }
    UpdateScrollBars();
    InvalidateRect(window_, nullptr, FALSE);
}

void StringGrid::OnClick(int x, int y) {
    const int pitch = rowHeight_ + kLine;
    const int fixedHeight = fixedRows_ * pitch;
    if (y < fixedHeight) return;  // fixed rows are never selected
    const int row = topRow_ + (y - fixedHeight) / pitch;
    int left = -scrollX_;
    for (int column = 0; column < ColumnCount(); ++column) {
        const int right = left + widths_[static_cast<std::size_t>(column)] + kLine;
        if (x >= left && x < right) {
            Select(column, row);
            return;
        }
        left = right;
    }
}

void StringGrid::OnKey(WPARAM key) {
    int column = selectedColumn_;
    int row = selectedRow_;
    const int visible = std::max(VisibleDataRows(), 1);
    switch (key) {
    case VK_UP: --row; break;
    case VK_DOWN: ++row; break;
    case VK_LEFT: --column; break;
    case VK_RIGHT: ++column; break;
    case VK_PRIOR: row -= visible; break;
    case VK_NEXT: row += visible; break;
    case VK_HOME: column = 0; break;
    case VK_END: column = ColumnCount() - 1; break;
    default: return;
    }
    Select(std::clamp(column, 0, ColumnCount() - 1), std::clamp(row, fixedRows_, std::max(fixedRows_, RowCount() - 1)));
}

void StringGrid::Paint(HDC dc, const RECT& client) {
    FillRect(dc, &client, GetSysColorBrush(COLOR_WINDOW));
    HGDIOBJ oldFont = SelectObject(dc, font_ != nullptr ? font_ : GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    const int pitch = rowHeight_ + kLine;
    int y = 0;
    const auto paintRow = [&](int row) {
        int x = -scrollX_;
        for (int column = 0; column < ColumnCount(); ++column) {
            const int width = widths_[static_cast<std::size_t>(column)];
            const RECT cell{x, y, x + width, y + rowHeight_};
            if (cell.right > 0 && cell.left < client.right) PaintCell(dc, cell, column, row);
            x += width + kLine;
        }
        y += pitch;
    };
    for (int row = 0; row < std::min(fixedRows_, RowCount()) && y < client.bottom; ++row) paintRow(row);
    for (int row = topRow_; row < RowCount() && y < client.bottom; ++row) paintRow(row);
    SelectObject(dc, oldFont);
}

void StringGrid::PaintCell(HDC dc, const RECT& cell, int column, int row) {
    const bool fixed = row < fixedRows_;
    const bool selected = !fixed && row == selectedRow_ && column == selectedColumn_;
    // The grid lines: the cell's right and bottom neighbours.
    const RECT right{cell.right, cell.top, cell.right + kLine, cell.bottom + kLine};
    const RECT bottom{cell.left, cell.bottom, cell.right + kLine, cell.bottom + kLine};
    HBRUSH line = GetSysColorBrush(fixed ? COLOR_WINDOWFRAME : COLOR_BTNFACE);
    FillRect(dc, &right, line);
    FillRect(dc, &bottom, line);

    RECT face = cell;
    if (fixed) {
        FillRect(dc, &face, GetSysColorBrush(COLOR_BTNFACE));
        DrawEdge(dc, &face, BDR_RAISEDINNER, BF_RECT);
    } else {
        FillRect(dc, &face, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    }
    SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : (fixed ? COLOR_BTNTEXT : COLOR_WINDOWTEXT)));
    RECT text = cell;
    text.left += kTextMargin;
    const std::wstring wide = Wide(Cell(column, row));
    DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &text,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    if (selected && GetFocus() == window_) DrawFocusRect(dc, &cell);
}

}  // namespace app::win32
