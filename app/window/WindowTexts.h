#pragma once

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
inline constexpr char kApplicationEnds[] = "アプリケーションを終了します。";
inline constexpr char kCalendarCannotHold[] = "カレンダーにこの日付は設定できません。";
inline constexpr char kUnknownError[] = "不明なエラーが発生しました。";

// The search window.
inline constexpr char kSearchTitle[] = "検索";
inline constexpr char kSearchPlaceholder[] = "探す言葉 (空白で区切ると全部を含む日)";
inline constexpr char kSearchSkippedHead[] = "読めないため検索しなかったファイル: ";
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
      "  --help       この説明を表示して終了します\n"
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
      "  --help       print this text and exit\n"
      "  --version    print the version and exit\n"
      "\n"
      "A value follows its option letter directly, without a blank (-d~/diary).\n"
      "Started in this folder with these arguments, the diary keeps its data in:\n"
      "  ";

// Search as you type: after the count while year files are still being read.
inline constexpr char kSearchStillReading[] = "（読み込み中）";
} // namespace wtext
