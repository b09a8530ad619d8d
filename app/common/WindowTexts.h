#pragma once

#include "Text.h"

// The window's own user-facing texts, once. UTF-8.
namespace wtext {
inline constexpr char kCaptionHead[] = "KIV-N's Diary < ";
inline constexpr char kCaptionTail[] = " >";
inline constexpr char kYearMark[] = "年";
// The month-day part of a date title; "(aaa)" is the abbreviated weekday name.
inline constexpr char kMonthDayPattern[] = "mm月dd日(aaa)";
inline constexpr char kFolderCreateFailed[] = "フォルダの作成に失敗しました。";
inline constexpr char kUseCurrentFolder[] = "カレントフォルダを使用します。";
inline constexpr char kFolderInUse[] = "データフォルダは他の日記が使用中です。";
inline constexpr char kFolderHolder[] = "使用中のプロセスID: %1";
// The data folder takes no lock (a folder the user may not read, a network file system that
// refuses it); followed by CR LF, "> " and the folder.
inline constexpr char kFolderUnlockable[]
    = "データフォルダをロックできません。ほかの日記が同じフォルダを開いても止められません。";
inline constexpr char kApplicationEnds[] = "アプリケーションを終了します。";
inline constexpr char kCalendarCannotHold[] = "カレンダーにこの日付は設定できません。";
inline constexpr char kUnknownError[] = "不明なエラーが発生しました。";

// The captions of the main window's buttons and of the actions of its menu.
inline constexpr char kCloseCaption[] = "終了";
inline constexpr char kUndoCaption[] = "やり直し";
inline constexpr char kTodayCaption[] = "今日";
inline constexpr char kPrevYearCaption[] = "前年";
inline constexpr char kNextYearCaption[] = "翌年";
inline constexpr char kPrevMonthCaption[] = "前月";
inline constexpr char kNextMonthCaption[] = "翌月";
inline constexpr char kPrevDayCaption[] = "前日";
inline constexpr char kNextDayCaption[] = "翌日";
inline constexpr char kChangeFontCaption[] = "フォント変更";
inline constexpr char kToggleDayNameCaption[] = "曜日を保存する";
inline constexpr char kSearchCaption[] = "検索...";

// The search window.
inline constexpr char kSearchTitle[] = "検索";
inline constexpr char kSearchPlaceholder[] = "探す言葉 (空白で区切ると全部を含む日)";
inline constexpr char kSearchSkippedHead[] = "読めないため検索しなかったファイル: ";
inline constexpr char kOnThisDaySkippedHead[] = "読めないため表示しなかったファイル: ";
inline constexpr char kSearchDaysTail[] = "日分";

// The recovery file; %1 is its path.
inline constexpr char kRecoveryFound[]
    = "前回保存されなかった日記の内容が見つかりました。\r\n> %1\r\n"
      "この内容を読み込みますか？\r\n"
      "「はい」: 読み込んで、未保存の編集として扱います。\r\n"
      "「いいえ」: 読み込まずに、ファイルを別の名前でそのまま残します。";
inline constexpr char kRecoveryYes[] = "はい(&Y)";
inline constexpr char kRecoveryNo[] = "いいえ(&N)";
inline constexpr char kRecoveryCannotRename[] = "復元ファイルの名前を変更できません。\r\n> %1";
inline constexpr char kRecoveryKeptAs[] = "復元ファイルは次の名前で残してあります。\r\n> %1";
// Recovered texts of days the year file changed meanwhile. %1: the separator line, %2: the days.
inline constexpr char kRecoveryBothTexts[]
    = "次の日は日記ファイルでも書き換えられていたので、両方の文章を残しています。"
      "「%1」の行の前と後が、それぞれで違っていた部分です。\r\n%2";

// kivlog --help, followed by the data folder's full path and a line break.
inline constexpr char kUsageJapanese[]
    = "使い方: kivlog [-dフォルダ] [-p接頭辞] [-e拡張子] [年ファイル]\n"
      "\n"
      "KIV-Nの日記を開きます。日記がすでに開いていれば、その画面を前に出します。\n"
      "\n"
      "  -dフォルダ   年ファイルを置くフォルダ（既定: Data/）\n"
      "  -p接頭辞     ファイル名で年の前に付く文字列（既定: なし）\n"
      "  -e拡張子     ファイル名の拡張子、ドットを含めて（既定: .jnl）\n"
      "  年ファイル   例えば ~/diary/notes2026.jnl: そのフォルダ・接頭辞・拡張子を使います\n"
      "  -h, --help   この説明を表示して終了します\n"
      "  --version    バージョンを表示して終了します\n"
      "\n"
      "値はオプション文字のすぐ後に空白なしで書きます（-d~/diary）。\n"
      "このフォルダからこの引数で起動すると、日記のデータは次のフォルダに置かれます:\n"
      "  ";
inline constexpr char kUsageEnglish[]
    = "Usage: kivlog [-dFOLDER] [-pPREFIX] [-eEXTENSION] [YEARFILE]\n"
      "\n"
      "Opens KIV-N's Diary; when a diary is open already, brings its window forward.\n"
      "\n"
      "  -dFOLDER     the folder of the year files (default: Data/)\n"
      "  -pPREFIX     text in front of the year in file names (default: none)\n"
      "  -eEXTENSION  the file names' extension, with its dot (default: .jnl)\n"
      "  YEARFILE     such as ~/diary/notes2026.jnl: its folder, prefix and extension are used\n"
      "  -h, --help   print this text and exit\n"
      "  --version    print the version and exit\n"
      "\n"
      "A value follows its option letter directly, without a blank (-d~/diary).\n"
      "Started in this folder with these arguments, the diary keeps its data in:\n"
      "  ";

// What a screen reader says of the window's parts; %1 is the day's title, such as
// "2026年12月09日(水)".
inline constexpr char kA11yEditorName[] = "%1の日記";
inline constexpr char kA11yEditorDescription[]
    = "この日の文章です。別の日に移るか終了すると保存されます。";
inline constexpr char kA11yCalendarName[] = "カレンダー";
inline constexpr char kA11yCalendarDescription[]
    = "日付を選ぶと、その日の日記を表示します。文章のある日は太字です。";
inline constexpr char kA11yShownDayDescription[] = "表示中の日付";
inline constexpr char kA11yTodayName[] = "今日の日付";
inline constexpr char kA11yTodayYearDescription[] = "今日の年";
inline constexpr char kA11yTodayDateDescription[] = "今日の月日と曜日";
inline constexpr char kA11yPrevMonthName[] = "前の月";
inline constexpr char kA11yNextMonthName[] = "次の月";
inline constexpr char kA11ySearchFieldName[] = "検索する言葉";
inline constexpr char kA11ySearchClearName[] = "検索する言葉を消す";
inline constexpr char kA11ySearchResultsName[] = "見つかった日";
inline constexpr char kA11yOnThisDayListName[] = "同じ日の日記";
inline constexpr char kA11yRangeFromName[] = "期間の始めの日";
inline constexpr char kA11yRangeToName[] = "期間の終わりの日";

// Reading back: この日 (the same day in other years), printing and exporting.
inline constexpr char kOnThisDayCaption[] = "この日...";
inline constexpr char kOnThisDayTitle[] = "この日 ";
// The month and day in the window's title.
inline constexpr char kOnThisDayPattern[] = "mm月dd日";
inline constexpr char kOnThisDayOwnMark[] = "● ";
inline constexpr char kOnThisDayYearsTail[] = "年分";
inline constexpr char kPrintCaption[] = "印刷...";
inline constexpr char kPrintTitle[] = "印刷";
inline constexpr char kExportCaption[] = "エクスポート...";
inline constexpr char kExportTitle[] = "エクスポート";
inline constexpr char kRangeLabel[] = "範囲:";
inline constexpr char kRangeDay[] = "この日(&D)";
inline constexpr char kRangeMonth[] = "この月(&M)";
inline constexpr char kRangeYear[] = "この年(&Y)";
inline constexpr char kRangeFromTo[] = "期間(&R):";
inline constexpr char kRangeTo[] = "～";
inline constexpr char kFormatLabel[] = "形式(&F):";
inline constexpr char kFormatText[] = "テキスト";
// Markdown with the days' texts as written, their own Markdown kept.
inline constexpr char kFormatMarkdownAsWritten[] = "Markdown（書いたまま）";
inline constexpr char kFileLabel[] = "ファイル(&N):";
inline constexpr char kFileBrowse[] = "参照(&B)...";
inline constexpr char kPrintButton[] = "印刷(&P)...";
inline constexpr char kExportButton[] = "書き出す(&W)";
inline constexpr char kNoDaysInRange[] = "この範囲には書かれた日がありません。";
inline constexpr char kNoTargetFile[] = "書き出すファイルを指定してください。";
inline constexpr char kTargetIsDiaryFile[]
    = "このファイルは日記のデータです。別のファイルを指定してください。\r\n> %1";
inline constexpr char kCannotWrite[] = "ファイルに書き込めません。\r\n> %1\r\n%2";
// Followed by the pictures, one a line, each with why.
inline constexpr char kPicturesNotCopied[] = "次の写真は書き出し先にコピーできませんでした。\r\n";
inline constexpr char kImportPicturesNotCopied[]
    = "次の写真はデータフォルダにコピーできなかったため、取り込んだ行の写真は見つかりません。\r\n";
inline constexpr char kExportSkipped[] = "読めないため書き出さなかったファイル:\r\n%1";
inline constexpr char kTargetIsFolder[]
    = "フォルダには書き出せません。ファイルを指定してください。\r\n> %1";
inline constexpr char kBytesReplaced[]
    = "Shift_JIS の文字として読めないバイトが %1 個あったため、U+FFFD (�) にして書き出しました。";
inline constexpr char kReplaceExisting[] = "このファイルはすでにあります。置き換えますか？\r\n> %1";

// 取り込み: other diaries' days brought in, after a report of what would come.
// A year at a glance: %1 is the year. The figures and the words' heading are the store's, which
// kivlog-cli prints too.
inline constexpr char kYearViewCaption[] = "一年の記録...";
inline constexpr char kYearViewTitle[] = "%1年の記録";
inline constexpr char kYearViewYear[] = "%1年";
inline constexpr char kYearViewMonth[] = "%1月";
// %1 is the file of the words left out.
inline constexpr char kYearViewWordsTip[]
    = "言葉をクリックすると、その言葉で検索します。\n"
      "数えない言葉は次のファイルに1行に1つずつ書いておけます。\n%1";
// A day of the year view: %1 the day's title, %2 the characters written.
inline constexpr char kA11yYearDayName[] = "%1 %2字";
inline constexpr char kA11yPrevYearName[] = "前の年";
inline constexpr char kA11yNextYearName[] = "次の年";

inline constexpr char kImportCaption[] = "取り込み...";
inline constexpr char kImportTitle[] = "取り込み";
inline constexpr char kImportChoose[] = "取り込む日記を選んでください。";
inline constexpr char kImportFiles[] = "ファイル(&F)...";
inline constexpr char kImportFolder[] = "フォルダ(&D)...";
inline constexpr char kImportFilter[]
    = "日記の書き出し (*.zip *.json *.txt *.md);;すべてのファイル (*)";
inline constexpr char kImportTake[] = "取り込む(&I)";
inline constexpr char kImportCancel[] = "やめる";
inline constexpr char kImportAsk[] = "取り込みますか？";
inline constexpr char kImportNothing[] = "取り込む日はありません。";
// %1: the year, %2: the days added, %3: the days extended, %4: the days that hold both texts.
inline constexpr char kImportYear[]
    = "%1年: %2日を追加、%3日に書き足し、%4日は両方の文章を残します";
inline constexpr char kImportAddedDay[] = "  %1: 追加する日";
inline constexpr char kImportExtendedDay[] = "  %1: 書き足す日";
inline constexpr char kImportBothDay[] = "  %1: 両方の文章を残す日";
inline constexpr char kImportYearUnread[] = "%1年: 日記ファイルを読めないため取り込みません。%2";
inline constexpr char kImportNotStoredDays[]
    = "  制御文字など日記ファイルに文字として書けないため取り込まない文字のある日: %1日";
inline constexpr char kImportNotStored[] = "  %1: 取り込まない文字";
inline constexpr char kImportChanged[] = "  Shift-JIS の似た文字に変えて保存する文字: %1";
inline constexpr char kImportReferenced[] = "  文字参照 (&#x…;) として保存する文字: %1";
inline constexpr char kImportSkipped[] = "取り込まないもの:";
inline constexpr char kImportGuessed[] = "推測して取り込むもの:";
inline constexpr char kImportSourceCounts[]
    = "%1: 取り込まないもの %2件、推測して取り込むもの %3件、コピーしない写真など %4個";
inline constexpr char kImportNoDate[] = "日付がありません";
inline constexpr char kImportBefore1900[] = "1900年より前の日です";
inline constexpr char kImportNoText[] = "文章がありません";
inline constexpr char kImportLinkOutside[] = "フォルダの外を指すリンクです";
inline constexpr char kImportNoSuchDay[] = "名前の日付が存在しない日です";
inline constexpr char kImportNoDayName[] = "名前が日付ではありません (YYYY-MM-DD.txt や .md)";
inline constexpr char kImportBinaryText[] = "文章がバイナリデータで、文字として読めません";
inline constexpr char kImportZoneGuessed[]
    = "タイムゾーン %1 がわからないため、このコンピュータのタイムゾーンで取り込みます";
inline constexpr char kImportMedia[] = "写真などのファイル %1 個はコピーしません:";
inline constexpr char kImportUnreadable[] = "読めないため何も取り込まないもの:";
// The inbox/ folder: files dropped there come in by day. %1: the days, one a line.
inline constexpr char kInboxTaken[]
    = "inbox フォルダのファイルから次の日を取り込み、ファイルは backup/inbox に移しました。\r\n%1";
inline constexpr char kInboxNotStored[]
    = "制御文字など日記ファイルに文字として書けない次の文字は取り込んでいません。\r\n%1";
inline constexpr char kInboxNotRead[]
    = "inbox フォルダの次のファイルは読み込めないため、そのままにしています。\r\n%1";
inline constexpr char kInboxNotMoved[]
    = "次のファイルは取り込みましたが、backup/inbox に移せませんでした。\r\n%1";

// Where the diary lives: a data folder that takes no new files, said at start, and the data
// folder's full path (the status panel's tool tip, the search window), after the head.
inline constexpr char kFolderNotWritable[] = "データフォルダに書き込めません。";
inline constexpr char kSavedElsewhereThen[]
    = "保存できないときは、日記の内容を次のフォルダに保存します。";
// Instead of kSavedElsewhereThen when the user's own data folder takes no files either.
inline constexpr char kNothingCanBeKept[]
    = "ほかに保存できる場所もありません。書いた内容は保存できず、終了すると失われます。";
inline constexpr char kDataFolderHead[] = "データフォルダ: ";
// After the data folder in the status panel's tool tip; %1 is the command.
inline constexpr char kMenuEntryHint[]
    = "メニューから起動したときもこのフォルダを使うには、次のコマンドを実行します:\n%1";

// Conflict copies beside a year file (a sync engine's or the diary's own), offered once per year
// and run. %1: the files, one "> path" a line.
inline constexpr char kConflictCopiesFound[]
    = "この年の日記ファイルの横に、別の保存で書かれた版が残っています。\r\n"
      "（同期ソフトの競合コピー、または日記の競合ファイル）\r\n"
      "%1\r\n"
      "日ごとに日記に取り込みますか？\r\n"
      "「日ごとに取り込む」: 日記にない日や違う日の文章を取り込み、"
      "ファイルはバックアップフォルダに移します。\r\n"
      "「そのままにする」: 何も変えません。";
inline constexpr char kConflictCopiesMerge[] = "日ごとに取り込む(&M)";
inline constexpr char kConflictCopiesLeave[] = "そのままにする(&L)";
inline constexpr char kConflictCopiesMerged[]
    = "次のファイルを日ごとに取り込み、バックアップフォルダに移しました。\r\n%1";
// %1: the days, one a line.
inline constexpr char kConflictCopiesChangedDays[]
    = "次の日は、取り込んだファイルの文章に変わりました。\r\n%1";
// %1: the separator line, %2: the days, one a line.
inline constexpr char kConflictCopiesBothTexts[]
    = "次の日は両方の文章を残しています。「%1」の行の前と後が、それぞれで違っていた部分です。\r\n%"
      "2";
inline constexpr char kConflictCopiesNotRead[]
    = "次のファイルは読み込めないため、そのままにしています。\r\n%1";
inline constexpr char kConflictCopiesNotMoved[]
    = "次のファイルは取り込みましたが、バックアップフォルダに移せませんでした。\r\n%1";

// The bar above the editor that tells, without a box, what came in while the user may be typing;
// %1 after the latest notice's first line: how many more there are.
inline constexpr char kNoticeMore[] = "（ほか %1 件）";
inline constexpr char kNoticeListCaption[] = "詳しく...";
inline constexpr char kNoticeCloseCaption[] = "閉じる";
inline constexpr char kNoticeListTitle[] = "お知らせ";

// Search as you type: after the count while year files are still being read.
inline constexpr char kSearchStillReading[] = "（読み込み中）";

// The colours, kept on this machine.
inline constexpr char kColoursCaption[] = "配色";
inline constexpr char kColoursAuto[] = "自動";
inline constexpr char kColoursLight[] = "明るい";
inline constexpr char kColoursDark[] = "暗い";
// %1 the file, %2 the reason.
inline constexpr char kColoursNotKept[]
    = "配色の選択を保存できません。次に起動したときは元の配色になります。\r\n%1\r\n%2";

// The keys at hand (F1).
inline constexpr char kKeysCaption[] = "キー操作の一覧...";
inline constexpr char kKeysTitle[] = "キー操作";
inline constexpr char kKeysEditorHead[] = "日記を書きながら";
inline constexpr const char *kKeysOfTheEditor[][2] = {
    { "Ctrl+← / Ctrl+→", "前日・翌日に移ります" },
    { "Ctrl+↑ / Ctrl+↓", "1週間前・1週間後に移ります" },
    { "Ctrl+A", "この日の文章をすべて選びます" },
    { "Ctrl+Z", "「やり直し」の直後なら、入力した文章に戻します" },
    { "F1", "この一覧を開きます" },
};
inline constexpr char kKeysPopupHead[] = "カレンダーか下の日付を右クリックして開くメニュー";
inline constexpr char kKeysFolderHead[] = "日記のファイルを置くデータフォルダ";
// A day's pictures: the popup's entry and its chooser, the row under the editor and the viewer.
// %1 is the picture's place among the day's, %2 their count, %3 its file name.
inline constexpr char kAddPictureCaption[] = "写真を貼る...";
inline constexpr char kAddPictureTitle[] = "写真を貼る";
inline constexpr char kAddPictureFilter[]
    = "画像 (*.jpg *.jpeg *.png *.gif *.webp *.bmp);;すべてのファイル (*)";
inline constexpr char kA11yPictureRowName[] = "この日の写真";
inline constexpr char kA11yPictureName[] = "写真 %1/%2 %3";
inline constexpr char kA11yPictureMissingName[] = "写真 %1/%2 %3 (見つかりません)";
inline constexpr char kPictureMissing[] = "見つかり\nません";
inline constexpr char kPictureUnreadable[] = "開けません";
// %1 is the file name.
inline constexpr char kPictureTip[] = "%1\nクリックすると大きく表示します";
inline constexpr char kPictureMissingTip[]
    = "%1\nデータフォルダの photos/ にこの写真のファイルがありません。"
      "行はそのまま残しています。";
inline constexpr char kPictureViewerTitle[] = "写真 %1/%2 - %3";
// After a day's heading in この日 and in the search's list: the day holds %1 pictures.
inline constexpr char kPicturesMark[] = " [写真%1枚]";
} // namespace wtext
