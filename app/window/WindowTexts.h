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
} // namespace wtext
