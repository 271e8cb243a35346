// The main page's painting: the background and header at the first cell of a page or for a
// whole repaint, then the cells the thumbnail thread announced, and the selected frame.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/launcher.h"
#include "folders/folder_nav.h"
#include "browser/main_page_dlg.h"
#include "skin/skin.h"
#include "skin/thumb_painter.h"

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr UINT kLeftAligned = 0;
constexpr UINT kCentred = 1;
constexpr UINT_PTR kRepaintTimer = 7;

bool IsBracketed(const WString& name) { return !name.empty() && name.front() == u'<' && name.back() == u'>'; }

// Draws an entry's thumbnail into its cell through the painter, when the list reaches the
// entry: a is the entry's index, b the cell.
class CellPainter : public CPhotoVisitor {
 public:
  void Visit(int, PhotoEntry&) override {}
  bool Test(int a, int b, int index, PhotoEntry& entry) override {
    if (index != a) return false;
    CThumbPainter::Instance().DrawCell(b, &entry);
    return true;
  }
};

}  // namespace

void CMainPageDlg::OnPaint() {
  CPaintDC dc(this);
  if (m_ScreenOver) return;
  if (!m_Hidden) {
    if (m_BackFromInfo) {
      BlitBitmap(this, 0, 0, 0, 0, 0, 0, m_Background);
      SetTimer(kRepaintTimer, 1, nullptr);  // its first tick repaints the whole page
      m_BackFromInfo = 0;
    } else if (m_PendingSelection != -1) {
      BlitBitmap(this, 0, 0, 0, 0, 0, 0, m_Background);
      m_pBatteryIcon->Draw(1);
    } else {
      PaintPage(dc);
    }
  }
  if (m_PaintedOnce) {
    m_PaintedOnce = 0;
    if (HWND launcher = FindLauncher()) ::SendMessage(launcher, kFirstPaintMessage, 0, 0);
  }
  m_Ready = 1;
}

void CMainPageDlg::PaintPage(CPaintDC& dc) {
  const LONG u = m_LastUpdated;
  const DWORD announced = m_AnnouncedCells.exchange(0);
  // The cells to paint, as bits, and the index of the range's first cell.
  DWORD cells;
  LONG first;
  if (u == -1) {
    cells = 0xFF;
    first = kCellsPerPage * m_CurPage;
  } else {
    cells = announced | (1u << CellOf(u));
    first = u - CellOf(u);
  }
  if (u == -1 || (cells & 1u)) {
    BlitBitmap(this, 0, 0, 0, 0, 0, 0, m_Background);
    m_pBatteryIcon->Draw(1);
    PaintHeader();
  }

  CPhotoList::Hold hold(*m_pPhotoList);
  const LONG count = std::min<LONG>(m_EntryCount, m_pPhotoList->GetCount());
  const LONG selected = m_SelectedIndex;
  CThumbPainter::Instance().Begin(dc.GetSafeHdc(), m_InnerRects[0], m_InnerRects[kCellsPerPage - 1], 0);
  CellPainter painter;
  bool ranToEnd = true;
  bool selectedPainted = false;
  for (int c = 0; c < kCellsPerPage; ++c) {
    if (!(cells & (1u << c))) continue;
    const LONG i = first + c;
    if (i >= count) {
      ranToEnd = false;
      break;
    }
    if (KindOf(i) != kKindPhoto || !m_pPhotoList->HasThumb(i)) {
      PaintCellWithoutThumb(i);
    } else {
      int found = -1;
      m_pPhotoList->HitTest(i, c, painter, &found);
    }
    if (i == selected) selectedPainted = true;
  }
  // A whole repaint draws the frame only when every cell of the page was there.
  if ((u == -1 && ranToEnd) || (u != -1 && selectedPainted)) DrawFrame(selected, m_FrameSelected);
}

void CMainPageDlg::PaintHeader() {
  WString title = FolderTitle(CurrentFolder());
  FitBracketedText(this, title, 500);
  DrawSkinText(this, 15, 20, 520, 35, title, kLeftAligned, kWhite, 0, 33);
  char counter[32];
  std::snprintf(counter, sizeof counter, "%d/%d", static_cast<int>(m_CurPage + 1), static_cast<int>(m_PageCount));
  DrawSkinText(this, 630, 18, 90, 30, WString(counter, counter + std::strlen(counter)), kLeftAligned, kWhite, 0, 28);
}

void CMainPageDlg::PaintCellWithoutThumb(int index) {
  const RECT& r = m_OuterRects[CellOf(index)];
  WString name = m_pPhotoList->GetName(index);
  if (!name.empty() && name[0] == u'<') {
    BlitBitmap(this, r.left, r.top, 0, 0, 0, 0, m_FolderPicture);
    FitBracketedText(this, name, 90);
    DrawSkinText(this, r.left + 2, r.bottom - 25, r.right - r.left - 2, 22, name, kCentred, kWhite, 0, 20);
  } else {
    BlitStretched(this, r.left + 3, r.top + 3, m_InnerWidth, m_InnerHeight, 0, 0, m_Placeholder);
  }
}

LONG CMainPageDlg::KindOf(int index) {
  if (index < 0) return kKindOther;
  if (static_cast<size_t>(index) >= m_KindCache.size()) return TestKind(index);
  if (m_KindCache[index] == kKindUnknown) m_KindCache[index] = TestKind(index);
  return m_KindCache[index];
}

LONG CMainPageDlg::TestKind(int index) {
  WString name = m_pPhotoList->GetName(index);
  if (IsBracketed(name)) return kKindOther;
  m_pDecoder->Close();
  _tag_PHOTO_INFO info{};
  m_Player.GetPhotoInfo(&info, name.c_str());
  UINT frames = m_pDecoder->Open(name.c_str(), static_cast<UINT>(info.Width), static_cast<UINT>(info.Height));
  return frames > 0 ? kKindPhoto : kKindOther;
}

void CMainPageDlg::DrawFrame(int index, CBitmap& frame) {
  const RECT& r = m_OuterRects[CellOf(index)];
  BlitTransparent(this, r.left, r.top, frame, kSkinTransparent);
}

void CMainPageDlg::ChangeSelection(LONG index) {
  const LONG old = m_SelectedIndex;
  if (index == old) return;
  DrawFrame(old, m_Frame);
  DrawFrame(index, m_FrameSelected);
  m_SelectedIndex = index;
}
