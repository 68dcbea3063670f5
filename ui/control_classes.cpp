#include "ui/control_classes.h"

#include <map>
#include <memory>

namespace corvane::ui {
namespace {

using IdentList = std::vector<std::string>;

std::vector<std::string> Words(std::string_view s) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\n')) ++i;
    size_t start = i;
    while (i < s.size() && s[i] != ' ' && s[i] != '\n') ++i;
    if (i > start) out.emplace_back(s.substr(start, i - start));
  }
  return out;
}

// Enumerated types, set types and named-constant types that the properties below use.
struct TypeTables {
  std::map<std::string, IdentList, std::less<>> enums, sets, named;

  TypeTables() {
    auto e = [&](const char* n, const char* w) { enums[n] = Words(w); };
    e("TAlign", "alNone alTop alBottom alLeft alRight alClient alCustom");
    e("TAlignment", "taLeftJustify taRightJustify taCenter");
    e("TVerticalAlignment", "taAlignTop taAlignBottom taVerticalCenter");
    e("TAlignmentVertical", "avTop avCenter avBottom");
    e("TTextLayout", "tlTop tlCenter tlBottom");
    e("TEllipsisPosition", "epNone epPathEllipsis epEndEllipsis epWordEllipsis");
    e("THelpType", "htKeyword htContext");
    e("TDragKind", "dkDrag dkDock");
    e("TDragMode", "dmManual dmAutomatic");
    e("TBiDiMode", "bdLeftToRight bdRightToLeft bdRightToLeftNoAlign bdRightToLeftReadingOnly");
    e("TImeMode",
      "imDisable imClose imOpen imDontCare imSAlpha imAlpha imHira imSKata imKata imChinese "
      "imSHanguel imHanguel");
    e("TFontPitch", "fpDefault fpVariable fpFixed");
    e("TFontQuality",
      "fqDefault fqDraft fqProof fqNonAntialiased fqAntialiased fqClearType fqClearTypeNatural");
    e("TBorderStyle", "bsNone bsSingle");
    e("TEditCharCase", "ecNormal ecUpperCase ecLowerCase");
    e("TScrollStyle", "ssNone ssHorizontal ssVertical ssBoth");
    e("TBitBtnKind", "bkCustom bkOK bkCancel bkHelp bkYes bkNo bkClose bkAbort bkRetry bkIgnore bkAll");
    e("TButtonLayout", "blGlyphLeft blGlyphRight blGlyphTop blGlyphBottom");
    e("TButtonStyle", "bsAutoDetect bsWin31 bsNew");
    e("TTextStyle", "tsNone tsRaised tsRecessed tsShadow");
    e("TCheckBoxState", "cbUnchecked cbChecked cbGrayed");
    e("TListBoxStyle", "lbStandard lbOwnerDrawFixed lbOwnerDrawVariable lbVirtual lbVirtualOwnerDraw");
    e("TComboBoxStyle", "csDropDown csSimple csDropDownList csOwnerDrawFixed csOwnerDrawVariable");
    e("TBevelCut", "bvNone bvLowered bvRaised bvSpace");
    e("TBevelKind", "bkNone bkTile bkSoft bkFlat");
    e("TBrushStyle",
      "bsSolid bsClear bsHorizontal bsVertical bsFDiagonal bsBDiagonal bsCross bsDiagCross");
    e("TPenMode",
      "pmBlack pmWhite pmNop pmNot pmCopy pmNotCopy pmMergePenNot pmMaskPenNot pmMergeNotPen "
      "pmMaskNotPen pmMerge pmNotMerge pmMask pmNotMask pmXor pmNotXor");
    e("TPenStyle", "psSolid psDash psDot psDashDot psDashDotDot psClear psInsideFrame psUserStyle psAlternate");
    e("TShapeType", "stRectangle stSquare stRoundRect stRoundSquare stEllipse stCircle");
    e("TBevelShape", "bsBox bsFrame bsTopLine bsBottomLine bsLeftLine bsRightLine bsSpacer");
    e("TBevelStyle", "bsLowered bsRaised");
    e("TStaticBorderStyle", "sbsNone sbsSingle sbsSunken");
    e("TGaugeKind", "gkText gkHorizontalBar gkVerticalBar gkPie gkNeedle");
    e("TTabStyle", "tsTabs tsButtons tsFlatButtons");
    e("TTabPosition", "tpTop tpBottom tpLeft tpRight");
    e("TTrackBarOrientation", "trHorizontal trVertical");
    e("TTickMark", "tmBottomRight tmTopLeft tmBoth");
    e("TTickStyle", "tsNone tsAuto tsManual");
    e("TPositionToolTip", "ptNone ptTop ptLeft ptBottom ptRight");
    e("TProgressBarOrientation", "pbHorizontal pbVertical");
    e("TProgressBarStyle", "pbstNormal pbstMarquee");
    e("TProgressBarState", "pbsNormal pbsError pbsPaused");
    e("TUDAlignButton", "udLeft udRight");
    e("TUDOrientation", "udHorizontal udVertical");
    e("TCommonAVI",
      "aviNone aviFindFolder aviFindFile aviFindComputer aviCopyFiles aviCopyFile aviRecycleFile "
      "aviEmptyRecycle aviDeleteFile");
    e("TSortType", "stNone stData stText stBoth");
    e("THTMLBorderStyle", "htFocused htNone htSingle");
    e("TQuirksMode", "qmDetect qmStandards qmQuirks");
    e("TTextCase", "tcLowerCase tcUpperCase");
    e("TViewStyle", "vsIcon vsSmallIcon vsList vsReport");
    e("TFlashQuality", "fqLow fqMedium fqHigh fqAutoLow fqAutoHigh fqBest");
    e("TFlashScaleMode", "smShowAll smNoBorder smExactFit");
    e("TDrawingStyle", "dsFocus dsSelected dsNormal dsTransparent");
    e("TImageType", "itImage itMask");
    e("TColorDepth", "cdDefault cdDeviceDependent cd4Bit cd8Bit cd16Bit cd24Bit cd32Bit");
    e("TPopupAlignment", "paLeft paRight paCenter");
    e("TMenuAutoFlag", "maAutomatic maManual maParent");
    e("TFormBorderStyle", "bsNone bsSingle bsSizeable bsDialog bsToolWindow bsSizeToolWin");
    e("TPosition",
      "poDesigned poDefault poDefaultPosOnly poDefaultSizeOnly poScreenCenter poDesktopCenter "
      "poMainFormCenter poOwnerFormCenter");
    e("TFormStyle", "fsNormal fsMDIChild fsMDIForm fsStayOnTop");
    e("TWindowState", "wsNormal wsMinimized wsMaximized");
    e("TDefaultMonitor", "dmDesktop dmPrimary dmMainForm dmActiveForm");

    auto s = [&](const char* n, const char* w) { sets[n] = Words(w); };
    s("TAnchors", "akLeft akTop akRight akBottom");
    s("TFontStyles", "fsBold fsItalic fsUnderline fsStrikeOut");
    s("TBorderIcons", "biSystemMenu biMinimize biMaximize biHelp");
    s("TFileType", "ftReadOnly ftHidden ftSystem ftVolumeID ftDirectory ftArchive ftNormal");
    s("THtmlViewerOptions",
      "htOverLinksActive htNoLinkUnderline htPrintTableBackground htPrintBackground "
      "htPrintMonochromeBlack htShowDummyCaret htShowVScroll htNoWheelMouse htNoLinkHilite "
      "htNoFocusRect");

    named["TColor"] = Words(
        "clBlack clMaroon clGreen clOlive clNavy clPurple clTeal clGray clSilver clRed clLime "
        "clYellow clBlue clFuchsia clAqua clLtGray clDkGray clWhite clMoneyGreen clSkyBlue "
        "clCream clMedGray clNone clDefault clScrollBar clBackground clActiveCaption "
        "clInactiveCaption clMenu clWindow clWindowFrame clMenuText clWindowText clCaptionText "
        "clActiveBorder clInactiveBorder clAppWorkSpace clHighlight clHighlightText clBtnFace "
        "clBtnShadow clGrayText clBtnText clInactiveCaptionText clBtnHighlight cl3DDkShadow "
        "cl3DLight clInfoText clInfoBk clHotLight clGradientActiveCaption "
        "clGradientInactiveCaption clMenuHighlight clMenuBar");
    named["TCursor"] = Words(
        "crDefault crNone crArrow crCross crIBeam crSize crSizeNESW crSizeNS crSizeNWSE "
        "crSizeWE crUpArrow crHourGlass crDrag crNoDrop crHSplit crVSplit crMultiDrag crSQLWait "
        "crNo crAppStart crHelp crHandPoint crSizeAll");
    named["TFontCharset"] = Words(
        "ANSI_CHARSET DEFAULT_CHARSET SYMBOL_CHARSET MAC_CHARSET SHIFTJIS_CHARSET "
        "HANGEUL_CHARSET JOHAB_CHARSET GB2312_CHARSET CHINESEBIG5_CHARSET GREEK_CHARSET "
        "TURKISH_CHARSET HEBREW_CHARSET ARABIC_CHARSET BALTIC_CHARSET RUSSIAN_CHARSET "
        "THAI_CHARSET EASTEUROPE_CHARSET OEM_CHARSET VIETNAMESE_CHARSET");
  }
};

const TypeTables& Types() {
  static const TypeTables tables;
  return tables;
}

// Property groups, written "Name:kind=default;..." where kind is i (integer), b (boolean),
// s (string), ch (character), L (lines), x (binary), k (component), v (event), f (float),
// C (collection), l (list) or the name of an enumerated, set or named-constant type.
constexpr char kControl[] =
    "Left:i=0;Top:i=0;Width:i=0;Height:i=0;ExplicitLeft:i=0;ExplicitTop:i=0;ExplicitWidth:i=0;"
    "ExplicitHeight:i=0;Hint:s;Tag:i=0;Enabled:b=True;Visible:b=True;Cursor:TCursor=crDefault;"
    "ShowHint:b=False;ParentShowHint:b=True;Align:TAlign=alNone;Anchors:TAnchors=[akLeft,akTop];"
    "Constraints.MaxHeight:i=0;Constraints.MaxWidth:i=0;Constraints.MinHeight:i=0;"
    "Constraints.MinWidth:i=0;HelpContext:i=0;HelpKeyword:s;HelpType:THelpType=htContext;"
    "DragCursor:TCursor=crDrag;DragKind:TDragKind=dkDrag;DragMode:TDragMode=dmManual;PopupMenu:k;"
    "BiDiMode:TBiDiMode=bdLeftToRight;ParentBiDiMode:b=True;DesignSize:l;Margins.Left:i=3;"
    "Margins.Top:i=3;Margins.Right:i=3;Margins.Bottom:i=3;AlignWithMargins:b=False;OnClick:v;"
    "OnDblClick:v;OnMouseDown:v;OnMouseMove:v;OnMouseUp:v;OnContextPopup:v;OnDragDrop:v;"
    "OnDragOver:v;OnEndDrag:v;OnStartDrag:v;OnMouseEnter:v;OnMouseLeave:v";
constexpr char kWin[] =
    "TabOrder:i=-1;TabStop:b=False;Ctl3D:b=True;ParentCtl3D:b=True;DoubleBuffered:b=False;"
    "ParentDoubleBuffered:b=True;ImeMode:TImeMode=imDontCare;ImeName:s;ParentBackground:b=True;"
    "OnEnter:v;OnExit:v;OnKeyDown:v;OnKeyPress:v;OnKeyUp:v";
constexpr char kFont[] =
    "ParentFont:b=True;Font.Charset:TFontCharset=DEFAULT_CHARSET;Font.Color:TColor=clWindowText;"
    "Font.Height:i=-11;Font.Name:s=MS Sans Serif;Font.Style:TFontStyles=[];"
    "Font.Pitch:TFontPitch=fpDefault;Font.Quality:TFontQuality=fqDefault";
constexpr char kFace[] = "Color:TColor=clBtnFace;ParentColor:b=False";
constexpr char kWindowColor[] = "Color:TColor=clWindow;ParentColor:b=False";
constexpr char kNonVisual[] = "Left:i=0;Top:i=0;Tag:i=0;ExplicitLeft:i=0;ExplicitTop:i=0";
constexpr char kEdit[] =
    "Text:s;MaxLength:i=0;ReadOnly:b=False;AutoSelect:b=True;AutoSize:b=True;"
    "BorderStyle:TBorderStyle=bsSingle;CharCase:TEditCharCase=ecNormal;HideSelection:b=True;"
    "OEMConvert:b=False;PasswordChar:ch;TabStop:b=True;TextHint:s;NumbersOnly:b=False;"
    "Alignment:TAlignment=taLeftJustify;BevelInner:TBevelCut=bvRaised;"
    "BevelOuter:TBevelCut=bvLowered;BevelKind:TBevelKind=bkNone;OnChange:v";
constexpr char kMemo[] =
    "Lines.Strings:L;ScrollBars:TScrollStyle=ssNone;WantReturns:b=True;WantTabs:b=False;"
    "WordWrap:b=True";
constexpr char kButton[] =
    "TabStop:b=True;Caption:s;Default:b=False;Cancel:b=False;ModalResult:i=0;WordWrap:b=False;"
    "ImageIndex:i=-1;Images:k;ElevationRequired:b=False;CommandLinkHint:s";
constexpr char kGlyph[] =
    "Glyph.Data:x;Layout:TButtonLayout=blGlyphLeft;Margin:i=-1;NumGlyphs:i=1;Spacing:i=4";
constexpr char kCheck[] =
    "Caption:s;Checked:b=False;Alignment:TAlignment=taRightJustify;"
    "AlignmentVertical:TAlignmentVertical=avTop;AutoSize:b=True;WordWrap:b=False;"
    "Transparent:b=False;HotTrack:b=False;HotTrackColor:TColor=clDefault;"
    "FrameColor:TColor=clBtnShadow;HighlightColor:TColor=clHighlight;"
    "DisabledColor:TColor=clBtnShadow;TextStyle:TTextStyle=tsNone;ReadOnly:b=False;"
    "ThemeAware:b=True;LightTextStyle:b=False;TabStop:b=True;OnChange:v";
constexpr char kList[] =
    "Items.Strings:L;ItemHeight:i=13;ItemIndex:i=-1;BorderStyle:TBorderStyle=bsSingle;"
    "Columns:i=0;ExtendedSelect:b=True;IntegralHeight:b=False;MultiSelect:b=False;"
    "Sorted:b=False;Style:TListBoxStyle=lbStandard;TabWidth:i=0;TabStop:b=True;"
    "AutoComplete:b=True;OnDrawItem:v;OnMeasureItem:v";
constexpr char kShell[] =
    "BorderStyle:TBorderStyle=bsSingle;HideSelection:b=True;ReadOnly:b=False;TabStop:b=True;"
    "ShellTree:k;ShellList:k;ShellCombo:k;OnChange:v";

struct ClassEntry {
  const char* name;
  bool control;
  std::vector<const char*> groups;
};

// Later entries override earlier ones of the same name, so a class can change a default.
const std::vector<ClassEntry>& ClassEntries() {
  static const std::vector<ClassEntry> entries = {
      {"TLabel", true,
       {kControl, kFont, kFace,
        "ParentColor:b=True;Caption:s;Alignment:TAlignment=taLeftJustify;AutoSize:b=True;"
        "FocusControl:k;Layout:TTextLayout=tlTop;ShowAccelChar:b=True;Transparent:b=False;"
        "WordWrap:b=False;EllipsisPosition:TEllipsisPosition=epNone;GlowSize:i=0"}},
      {"TEdit", true, {kControl, kWin, kFont, kWindowColor, kEdit}},
      {"TMemo", true, {kControl, kWin, kFont, kWindowColor, kEdit, kMemo}},
      {"TButton", true, {kControl, kWin, kFont, kButton}},
      {"TRzCheckBox", true,
       {kControl, kWin, kFont, kFace, kCheck, "State:TCheckBoxState=cbUnchecked;AllowGrayed:b=False"}},
      {"TRzRadioButton", true, {kControl, kWin, kFont, kFace, kCheck}},
      {"TListBox", true, {kControl, kWin, kFont, kWindowColor, kList}},
      {"TComboBox", true,
       {kControl, kWin, kFont, kWindowColor,
        "Items.Strings:L;Text:s;Style:TComboBoxStyle=csDropDown;ItemHeight:i=13;ItemIndex:i=-1;"
        "MaxLength:i=0;Sorted:b=False;DropDownCount:i=8;CharCase:TEditCharCase=ecNormal;"
        "AutoComplete:b=True;AutoDropDown:b=False;AutoCloseUp:b=False;TabStop:b=True;TextHint:s;"
        "OnChange:v;OnSelect:v;OnDropDown:v;OnCloseUp:v"}},
      {"TGroupBox", true, {kControl, kWin, kFont, kFace, "Caption:s"}},
      {"TPanel", true,
       {kControl, kWin, kFont, kFace,
        "Caption:s;Alignment:TAlignment=taCenter;"
        "VerticalAlignment:TVerticalAlignment=taVerticalCenter;BevelInner:TBevelCut=bvNone;"
        "BevelOuter:TBevelCut=bvRaised;BevelWidth:i=1;BevelKind:TBevelKind=bkNone;BorderWidth:i=0;"
        "BorderStyle:TBorderStyle=bsNone;FullRepaint:b=True;Locked:b=False;ShowCaption:b=True;"
        "UseDockManager:b=True;DockSite:b=False;AutoSize:b=False"}},
      {"TBitBtn", true,
       {kControl, kWin, kFont, kButton, kGlyph,
        "Kind:TBitBtnKind=bkCustom;Style:TButtonStyle=bsAutoDetect"}},
      {"TSpeedButton", true,
       {kControl, kFont, kGlyph,
        "Caption:s;AllowAllUp:b=False;Down:b=False;Flat:b=False;GroupIndex:i=0;"
        "Transparent:b=True"}},
      {"TMaskEdit", true, {kControl, kWin, kFont, kWindowColor, kEdit, "EditMask:s"}},
      {"TImage", true,
       {kControl,
        "Picture.Data:x;AutoSize:b=False;Center:b=False;Stretch:b=False;Proportional:b=False;"
        "Transparent:b=False;IncrementalDisplay:b=False"}},
      {"TShape", true,
       {kControl,
        "Brush.Color:TColor=clWhite;Brush.Style:TBrushStyle=bsSolid;Pen.Color:TColor=clBlack;"
        "Pen.Mode:TPenMode=pmCopy;Pen.Style:TPenStyle=psSolid;Pen.Width:i=1;"
        "Shape:TShapeType=stRectangle"}},
      {"TBevel", true, {kControl, "Shape:TBevelShape=bsBox;Style:TBevelStyle=bsLowered"}},
      {"TStaticText", true,
       {kControl, kWin, kFont, kFace,
        "Caption:s;Alignment:TAlignment=taLeftJustify;AutoSize:b=True;"
        "BorderStyle:TStaticBorderStyle=sbsNone;FocusControl:k;ShowAccelChar:b=True;"
        "Transparent:b=True"}},
      {"TGauge", true,
       {kControl, kFont, kFace,
        "BackColor:TColor=clWhite;BorderStyle:TBorderStyle=bsSingle;ForeColor:TColor=clBlack;"
        "Kind:TGaugeKind=gkHorizontalBar;MinValue:i=0;MaxValue:i=100;Progress:i=0;"
        "ShowText:b=True"}},
      {"TPageControl", true,
       {kControl, kWin, kFont,
        "ActivePage:k;HotTrack:b=False;Images:k;MultiLine:b=False;OwnerDraw:b=False;"
        "RaggedRight:b=False;ScrollOpposite:b=False;Style:TTabStyle=tsTabs;TabHeight:i=0;"
        "TabIndex:i=-1;TabPosition:TTabPosition=tpTop;TabWidth:i=0;TabStop:b=True;OnChange:v;"
        "OnChanging:v"}},
      {"TTabSheet", true,
       {kControl, kWin, kFont, kFace,
        "Caption:s;ImageIndex:i=-1;PageIndex:i=0;TabVisible:b=True;Highlighted:b=False;"
        "PageControl:k;OnShow:v;OnHide:v"}},
      {"TRichEdit", true,
       {kControl, kWin, kFont, kWindowColor, kEdit, kMemo,
        "PlainText:b=False;HideScrollBars:b=True;Zoom:i=100;OnSelectionChange:v;"
        "OnResizeRequest:v;OnProtectChange:v"}},
      {"TTrackBar", true,
       {kControl, kWin,
        "Max:i=10;Min:i=0;Position:i=0;Frequency:i=1;LineSize:i=1;PageSize:i=2;"
        "Orientation:TTrackBarOrientation=trHorizontal;SelEnd:i=0;SelStart:i=0;"
        "ShowSelRange:b=True;SliderVisible:b=True;ThumbLength:i=20;"
        "TickMarks:TTickMark=tmBottomRight;TickStyle:TTickStyle=tsAuto;TabStop:b=True;"
        "PositionToolTip:TPositionToolTip=ptNone;OnChange:v"}},
      {"TProgressBar", true,
       {kControl, kWin,
        "Max:i=100;Min:i=0;Position:i=0;Step:i=10;Smooth:b=False;"
        "Orientation:TProgressBarOrientation=pbHorizontal;Style:TProgressBarStyle=pbstNormal;"
        "MarqueeInterval:i=10;BarColor:TColor=clDefault;BackgroundColor:TColor=clDefault;"
        "State:TProgressBarState=pbsNormal;SmoothReverse:b=False"}},
      {"TUpDown", true,
       {kControl, kWin,
        "Associate:k;AlignButton:TUDAlignButton=udRight;ArrowKeys:b=True;Increment:i=1;"
        "Max:i=100;Min:i=0;Orientation:TUDOrientation=udVertical;Position:i=0;Thousands:b=True;"
        "Wrap:b=False;OnChanging:v;OnChangingEx:v"}},
      {"TAnimate", true,
       {kControl, kWin,
        "Active:b=False;AutoSize:b=True;Center:b=True;CommonAVI:TCommonAVI=aviNone;FileName:s;"
        "Repetitions:i=0;StartFrame:i=1;StopFrame:i=0;Timers:b=False;Transparent:b=True;"
        "Color:TColor=clBtnFace;ParentColor:b=True;OnOpen:v;OnClose:v;OnStart:v;OnStop:v"}},
      {"TCheckListBox", true,
       {kControl, kWin, kFont, kWindowColor, kList,
        "AllowGrayed:b=False;Flat:b=True;HeaderColor:TColor=clInfoText;"
        "HeaderBackgroundColor:TColor=clInfoBk;OnClickCheck:v"}},
      {"TTreeView", true,
       {kControl, kWin, kFont, kWindowColor,
        "Items.Data:x;Items.NodeData:x;AutoExpand:b=False;BorderStyle:TBorderStyle=bsSingle;"
        "ChangeDelay:i=0;CheckBoxes:b=False;HideSelection:b=True;HotTrack:b=False;Images:k;"
        "StateImages:k;Indent:i=19;MultiSelect:b=False;ReadOnly:b=False;RightClickSelect:b=False;"
        "RowSelect:b=False;ShowButtons:b=True;ShowLines:b=True;ShowRoot:b=True;"
        "SortType:TSortType=stNone;ToolTips:b=True;TabStop:b=True;OnChange:v;OnChanging:v;"
        "OnCollapsed:v;OnExpanded:v;OnEditing:v;OnEdited:v"}},
      {"THTMLViewer", true,
       {kControl, kWin,
        "BorderStyle:THTMLBorderStyle=htFocused;CharSet:TFontCharset=DEFAULT_CHARSET;"
        "DefBackground:TColor=clBtnFace;DefFontColor:TColor=clBtnText;DefFontName:s=Times New "
        "Roman;DefFontSize:i=12;DefHotSpotColor:TColor=clBlue;DefOverLinkColor:TColor=clBlue;"
        "DefVisitedLinkColor:TColor=clPurple;DefPreFontName:s=Courier New;HistoryMaxCount:i=0;"
        "MarginHeight:i=5;MarginWidth:i=10;NoSelect:b=False;PrintMarginBottom:f=2.0;"
        "PrintMarginLeft:f=2.0;PrintMarginRight:f=2.0;PrintMarginTop:f=2.0;PrintScale:f=1.0;"
        "ScrollBars:TScrollStyle=ssBoth;ViewImages:b=True;htOptions:THtmlViewerOptions=[];"
        "ServerRoot:s;VisitedMaxCount:i=50;QuirksMode:TQuirksMode=qmStandards;"
        "OnHotSpotClick:v;OnMetaRefresh:v;OnHotSpotCovered:v;OnImageRequest:v"}},
      {"TFileListBox", true,
       {kControl, kWin, kFont, kWindowColor,
        "FileEdit:k;FileType:TFileType=[ftNormal];Mask:s=*.*;MultiSelect:b=False;"
        "ShowGlyphs:b=False;ItemHeight:i=16;IntegralHeight:b=True;ExtendedSelect:b=True;"
        "TabStop:b=True;OnChange:v"}},
      {"TDirectoryListBox", true,
       {kControl, kWin, kFont, kWindowColor,
        "DirLabel:k;FileList:k;IntegralHeight:b=True;ItemHeight:i=16;TabStop:b=True;OnChange:v"}},
      {"TDriveComboBox", true,
       {kControl, kWin, kFont, kWindowColor,
        "DirList:k;TextCase:TTextCase=tcLowerCase;TabStop:b=True;OnChange:v"}},
      {"TFilterComboBox", true,
       {kControl, kWin, kFont, kWindowColor,
        "FileList:k;Filter:s=All files (*.*)|*.*;TabStop:b=True;OnChange:v"}},
      {"TPTShellTree", true,
       {kControl, kWin, kFont, kWindowColor, kShell,
        "Indent:i=19;ShowButtons:b=True;ShowLines:b=True;ShowRoot:b=True;AutoExpand:b=False;"
        "HotTrack:b=False;RightClickSelect:b=False;RowSelect:b=False;ToolTips:b=True"}},
      {"TPTShellList", true,
       {kControl, kWin, kFont, kWindowColor, kShell,
        "ViewStyle:TViewStyle=vsIcon;MultiSelect:b=False;ColumnClick:b=True;GridLines:b=False;"
        "RowSelect:b=False;HotTrack:b=False;Columns:C;OnFolderChanged:v"}},
      {"TPTShellCombo", true, {kControl, kWin, kFont, kWindowColor, kShell, "DropDownCount:i=8"}},
      {"TFlashFrame", true,
       {kControl, kWin, kFont, kFace,
        "Movie:s;Loop:b=True;Playing:b=False;Menu:b=True;Quality:TFlashQuality=fqHigh;"
        "ScaleMode:TFlashScaleMode=smShowAll;BackgroundColor:TColor=clWhite"}},
      {"TRzFormShape", true, {kControl, "Picture.Data:x;Stretch:b=False;Transparent:b=True"}},
      {"TRzBmpButton", true,
       {kControl, kFont, kFace,
        "Caption:s;Bitmaps.Up.Data:x;Bitmaps.Down.Data:x;Bitmaps.Disabled.Data:x;"
        "Bitmaps.Hot.Data:x;Bitmaps.TransparentColor:TColor=clOlive;Down:b=False;GroupIndex:i=0;"
        "AllowAllUp:b=False;ModalResult:i=0"}},
      {"TVistaGlass", true,
       {kNonVisual,
        "Enabled:b=True;GlassLeft:i=0;GlassTop:i=0;GlassRight:i=0;GlassBottom:i=0;"
        "SheetOfGlass:b=False;Blur:b=False"}},
      // Auxiliary classes of the form library.
      {"TImageList", false,
       {kNonVisual,
        "Height:i=16;Width:i=16;Bitmap:x;BkColor:TColor=clNone;BlendColor:TColor=clNone;"
        "AllocBy:i=4;DrawingStyle:TDrawingStyle=dsNormal;ImageType:TImageType=itImage;"
        "Masked:b=True;ShareImages:b=False;ColorDepth:TColorDepth=cdDeviceDependent"}},
      {"TPopupMenu", false,
       {kNonVisual,
        "Images:k;AutoPopup:b=True;Alignment:TPopupAlignment=paLeft;"
        "AutoHotkeys:TMenuAutoFlag=maAutomatic;OnPopup:v"}},
      {"TMainMenu", false, {kNonVisual, "Images:k;AutoHotkeys:TMenuAutoFlag=maAutomatic"}},
      {"TMenuItem", false,
       {"Caption:s;Checked:b=False;Enabled:b=True;Visible:b=True;Hint:s;Tag:i=0;GroupIndex:i=0;"
        "RadioItem:b=False;ShortCut:i=0;ImageIndex:i=-1;Default:b=False;AutoCheck:b=False;"
        "Bitmap.Data:x;OnClick:v"}},
      {"TTimer", false, {kNonVisual, "Enabled:b=True;Interval:i=1000;OnTimer:v"}},
  };
  return entries;
}

// The form's built-in design (dialog border, centred, MS Sans Serif -11, button face) appears
// as the defaults of these properties.
constexpr char kForm[] =
    "Left:i=0;Top:i=0;Width:i=0;Height:i=0;ClientWidth:i=0;ClientHeight:i=0;ExplicitWidth:i=0;"
    "ExplicitHeight:i=0;Caption:s;Hint:s;Tag:i=0;Enabled:b=True;Visible:b=False;"
    "Cursor:TCursor=crDefault;ShowHint:b=False;ParentFont:b=False;"
    "Color:TColor=clBtnFace;OldCreateOrder:b=False;PixelsPerInch:i=96;TextHeight:i=13;"
    "BorderStyle:TFormBorderStyle=bsDialog;"
    "BorderIcons:TBorderIcons=[biSystemMenu,biMinimize,biMaximize];BorderWidth:i=0;"
    "Position:TPosition=poScreenCenter;Scaled:b=True;AutoScroll:b=False;AutoSize:b=False;"
    "KeyPreview:b=False;FormStyle:TFormStyle=fsNormal;WindowState:TWindowState=wsNormal;"
    "Icon.Data:x;AlphaBlend:b=False;AlphaBlendValue:i=255;TransparentColor:b=False;"
    "TransparentColorValue:TColor=clBlack;HelpFile:s;DefaultMonitor:TDefaultMonitor=dmActiveForm;"
    "HorzScrollBar.Range:i=0;HorzScrollBar.Visible:b=True;VertScrollBar.Range:i=0;"
    "VertScrollBar.Visible:b=True;Constraints.MaxHeight:i=0;Constraints.MaxWidth:i=0;"
    "Constraints.MinHeight:i=0;Constraints.MinWidth:i=0;Menu:k;PopupMenu:k;"
    "BiDiMode:TBiDiMode=bdLeftToRight;OnCreate:v;OnShow:v;OnClose:v;OnCloseQuery:v;"
    "OnDestroy:v;OnActivate:v;OnDeactivate:v;OnResize:v;OnPaint:v;OnKeyDown:v;OnKeyPress:v;"
    "OnKeyUp:v;OnClick:v;OnMouseDown:v;OnMouseUp:v";

void AddGroup(ControlClass* cls, std::string_view group) {
  const TypeTables& types = Types();
  size_t i = 0;
  while (i < group.size()) {
    size_t end = group.find(';', i);
    if (end == std::string_view::npos) end = group.size();
    std::string_view entry = group.substr(i, end - i);
    i = end + 1;
    size_t colon = entry.find(':');
    size_t eq = entry.find('=');
    PropertyDef def;
    def.name = std::string(entry.substr(0, colon));
    std::string_view kind = entry.substr(colon + 1, (eq == std::string_view::npos ? entry.size() : eq) - colon - 1);
    if (eq != std::string_view::npos) def.default_text = std::string(entry.substr(eq + 1));
    static const std::map<std::string_view, PropertyKind> kLetters = {
        {"i", PropertyKind::kInteger}, {"b", PropertyKind::kBoolean},
        {"s", PropertyKind::kString},  {"ch", PropertyKind::kChar},
        {"L", PropertyKind::kStrings}, {"x", PropertyKind::kBinary},
        {"k", PropertyKind::kComponent}, {"v", PropertyKind::kEvent},
        {"f", PropertyKind::kFloat},   {"C", PropertyKind::kCollection},
        {"l", PropertyKind::kList}};
    if (auto it = kLetters.find(kind); it != kLetters.end()) {
      def.kind = it->second;
    } else if (auto e = types.enums.find(kind); e != types.enums.end()) {
      def.kind = PropertyKind::kEnum;
      def.idents = &e->second;
    } else if (auto s = types.sets.find(kind); s != types.sets.end()) {
      def.kind = PropertyKind::kSet;
      def.idents = &s->second;
    } else if (auto n = types.named.find(kind); n != types.named.end()) {
      def.kind = PropertyKind::kIdentOrInt;
      def.idents = &n->second;
    } else {
      def.kind = PropertyKind::kAny;  // a type missing from the tables: accept as it stands
    }
    if (auto it = cls->index.find(def.name); it != cls->index.end()) {
      cls->properties[it->second] = std::move(def);
    } else {
      cls->index.emplace(def.name, cls->properties.size());
      cls->properties.push_back(std::move(def));
    }
  }
}

struct ClassTable {
  std::vector<std::unique_ptr<ControlClass>> classes;
  std::unordered_map<std::string, const ControlClass*, platform::CaseInsensitiveHash,
                     platform::CaseInsensitiveEqual>
      by_name;
  std::vector<std::string> control_names;
  ControlClass form;
  ControlClass designer;

  ClassTable() {
    for (const ClassEntry& entry : ClassEntries()) {
      auto cls = std::make_unique<ControlClass>();
      cls->name = entry.name;
      cls->is_control = entry.control;
      for (const char* group : entry.groups) AddGroup(cls.get(), group);
      if (entry.control) control_names.push_back(entry.name);
      by_name.emplace(cls->name, cls.get());
      classes.push_back(std::move(cls));
    }
    form.name = "TPoolTemplate";
    AddGroup(&form, kForm);
    AddGroup(&form, kFont);
    AddGroup(&form, "ParentFont:b=False");
    designer.name = kFormDesignerName;
    designer.accepts_any = true;
  }
};

const ClassTable& Table() {
  static const ClassTable table;
  return table;
}

}  // namespace

const PropertyDef* ControlClass::FindProperty(std::string_view property) const {
  auto it = index.find(std::string(property));
  return it == index.end() ? nullptr : &properties[it->second];
}

const ControlClass* FindControlClass(std::string_view class_name) {
  const ClassTable& t = Table();
  auto it = t.by_name.find(std::string(class_name));
  return it == t.by_name.end() ? nullptr : it->second;
}

const std::vector<std::string>& ControlClassNames() { return Table().control_names; }

const ControlClass& PoolTemplateClass() { return Table().form; }

const ControlClass& FormDesignerClass() { return Table().designer; }

}  // namespace corvane::ui
