#pragma once

#include "Text.h"

// Every user-facing text of the store, the editor and what reads the diary out, once. UTF-8.
namespace msg {
inline constexpr char kNotActive[] = "データがアクティブではありません。";
inline constexpr char kBaseDirActive[] = "アクティブなデータのBaseDirectoryは変更できません。";
inline constexpr char kPrefixActive[] = "アクティブなデータのPrefixは変更できません。";
inline constexpr char kExtActive[] = "アクティブなデータの拡張子は変更できません。";
inline constexpr char kFileNameActive[] = "アクティブなデータのFileNameは変更できません。";
inline constexpr char kNoFolder[] = "保存ディレクトリがみつかりません。";
inline constexpr char kAbnormalYear[] = "年が有効範囲外です。";
inline constexpr char kBadData[] = "日記データが異常です。";
inline constexpr char kBadVersionHead[] = "このバージョンの日記データには対応していません。(";
inline constexpr char kBadVersionTail[] = ")";
inline constexpr char kYearMismatch[] = "日記データの年が一致しません。";
inline constexpr char kBadDateTail[] = "は不正な日付けです。"; // after the quoted date text
inline constexpr char kDateOutOfRangeHead[] = "日付が範囲外です。(";
inline constexpr char kDateOutOfRangeTail[] = ")";
inline constexpr char kCreateNoticeTail[] = "]を作成します。"; // after "[" + path
inline constexpr char kCannotOpen[] = "ファイル %1 は開けません";
inline constexpr char kCannotCreate[] = "ファイル %1 を作成できません";
// The final save of a store that is being destroyed failed; followed by CR LF, the path, CR LF
// and the reason.
inline constexpr char kFinalSaveFailed[] = "日記を保存できませんでした。";
// The year file changed on disk while the diary held it. Each is followed by CR LF and the
// path(s) named; parts are joined with CR LF.
inline constexpr char kChangedUnreadable[]
    = "日記ファイルがほかのプログラムによって書き換えられ、読み込めなくなっています。";
inline constexpr char kOwnVersionKept[]
    = "日記ファイルはそのままにして、こちらの内容を次のファイルに保存しました。";
inline constexpr char kShownVersionKept[] = "表示中の内容はそのまま残しています。";
// The data folder's path names a folder that another diary holds now; followed by CR LF and the
// folder.
inline constexpr char kFolderHeldElsewhere[]
    = "データフォルダがほかの日記に使われているため、保存しませんでした。"
      "書いた内容はまだ保存されていません。";
// The data folder's path names a folder of another diary now (moved there while this one was
// open); followed by CR LF and the folder.
inline constexpr char kOtherDiaryAtPath[]
    = "データフォルダの場所に別の日記のフォルダが置かれているため、保存しませんでした。"
      "書いた内容はまだ保存されていません。";
inline constexpr char kBackupFailed[] = "日付つきのバックアップを作成できませんでした。";

// A save that cannot write the year file: the whole year goes to a file in the user's own data
// folder instead. Follows the failure's message and CR LF; followed by CR LF and that file.
inline constexpr char kSavedInstead[]
    = "日記ファイルに保存できないため、日記の内容を次のファイルに保存しました。";

// A save that can write neither the year file nor that file: followed by CR LF and the days whose
// text is not saved, one a line.
inline constexpr char kKeptInProcessOnly[]
    = "日記の内容を保存できる場所がありません。次の日の文章はまだどこにも保存されておらず、"
      "終了すると失われます。";

// Merging two versions of a year by day.
// The line between the two differing texts of a part both sides changed.
inline constexpr char kBothTextsSeparator[] = "――― ここからは別の保存で書かれた文章 ―――";
// After a save that merged the year file with a version written elsewhere meanwhile; followed by
// CR LF and the path, CR LF and the parts holding both texts, one a line.
inline constexpr char kMergedBothTexts[]
    = "日記ファイルがほかの保存で書き換えられていたため、日ごとに合わせて保存しました。\r\n"
      "次の日は両方で書き換えられていたので、両方の文章を残しています。\r\n"
      "「――― ここからは別の保存で書かれた文章 "
      "―――」の行の前と後が、それぞれの保存で違っていた部分です。";
// After a save that merged: the days whose text came from the other version (written there,
// changed there or cleared there), beyond what the user edited here. Followed by CR LF and the
// path, CR LF and the days, one a line.
inline constexpr char kMergedChangedDays[]
    = "日記ファイルがほかの保存で書き換えられていたため、日ごとに合わせて保存しました。\r\n"
      "次の日は、ほかの保存で書かれた文章を取り込みました。";
// After a reload that kept days of this diary the other version lacks or holds otherwise.
// Followed by CR LF and the path, CR LF and the days, one a line.
inline constexpr char kReloadKeptDays[]
    = "日記ファイルがほかの保存で書き換えられていました。\r\n"
      "次の日はこの日記の文章がそちらになかったか違っていたため、合わせて残しています。";
inline constexpr char kBothPreambles[] = "（最初の日付より前の文章）";
inline constexpr char kBothErrorData[] = "（読み込めなかった行）";
// The title of an export and of a printed diary, and the name offered for their files.
inline constexpr char kDiaryTitle[] = "日記";
// The editor's notices under the text: a character the year file cannot hold as a character,
// and an edit that would join a raw byte with its neighbour.
inline constexpr char kRefusedNotice[]
    = "「%1」は制御文字など日記ファイルに文字として書けないものなので入力できません。";
// A file or image that is no picture the diary takes; %1 names it.
inline constexpr char kNotAPicture[]
    = "「%1」は写真として貼れません。貼れるのは JPEG、PNG、GIF、WebP、BMP の画像です。";
// What a refusal names for an image pasted without a file.
inline constexpr char kPastedImage[] = "貼り付けた画像";
// A picture that could not be copied into the data folder; %1 names it, followed by CR LF and
// the reason.
inline constexpr char kPictureNotCopied[] = "「%1」をデータフォルダにコピーできませんでした。";
inline constexpr char kJoinNotice[]
    = "赤い四角のバイトが隣の文字とつながって別の文字に変わるため、この編集はできません。";
// A year at a glance (the year view and kivlog-cli stats): the figures of a year, one a line.
// %1 a count; for a stretch of days %2 and %3 its first and last day.
inline constexpr char kFiguresDays[] = "書いた日: %1日";
inline constexpr char kFiguresCharacters[] = "文字数: %1字";
inline constexpr char kFiguresRun[] = "続けて書いた日: いちばん長くて%1日 (%2～%3)";
inline constexpr char kFiguresGap[] = "書かなかった日: いちばん長くて%1日 (%2～%3)";
inline constexpr char kFiguresNoGap[] = "書かなかった日: ありません";
// %1 the day's heading, %2 its characters.
inline constexpr char kFiguresDay[] = "いちばん多く書いた日: %1 %2字";
inline constexpr char kFiguresMonth[] = "いちばん多く書いた月: %1月 %2字";
inline constexpr char kFiguresNone[] = "この年に書いた日はありません。";
// What the shades of the days stand for.
inline constexpr char kShadeNone[] = "書いていない日";
inline constexpr char kShadeRange[] = "%1～%2字";
inline constexpr char kShadeFrom[] = "%1字以上";
inline constexpr char kWordsHead[] = "よく使った言葉";
} // namespace msg
