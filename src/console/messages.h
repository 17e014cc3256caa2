// Every text the tool shows or writes, in one place. The Japanese texts are
// code page 932 bytes; the comment above each gives it as it reads.
#pragma once

// \n-------------------------------------------------\n
inline constexpr char msg_banner_rule[] = "\n-------------------------------------------------\n";
// Morvalen CUI版 v0.51
inline constexpr char msg_banner_title[] = "Morvalen CUI\x94\xC5 v0.51";
// コマンドライン >morvalencmd [-o -l -r] ファイル名(xxx.mpg)\n
inline constexpr char msg_usage_1[] = "\x83R\x83}\x83\x93\x83h\x83\x89\x83" "C\x83\x93 >morvalencmd [-o -l -r] \x83t\x83@\x83" "C\x83\x8B\x96\xBC(xxx.mpg)\n";
// オプション説明\n
inline constexpr char msg_usage_2[] = "\x83I\x83v\x83V\x83\x87\x83\x93\x90\xE0\x96\xBE\n";
// -l sequence headerのリストアップ\n
inline constexpr char msg_usage_3[] = "-l sequence header\x82\xCC\x83\x8A\x83X\x83g\x83" "A\x83" "b\x83v\n";
// -onn 出力アスペクト比の指定(nnはアスペクトの番号)\n
inline constexpr char msg_usage_4[] = "-onn \x8Fo\x97\xCD\x83" "A\x83X\x83y\x83N\x83g\x94\xE4\x82\xCC\x8Ew\x92\xE8(nn\x82\xCD\x83" "A\x83X\x83y\x83N\x83g\x82\xCC\x94\xD4\x8D\x86)\n";
// MPEG-1の場合、VideoCD規格は12\n
inline constexpr char msg_usage_5[] = "MPEG-1\x82\xCC\x8F\xEA\x8D\x87\x81" "AVideoCD\x8BK\x8Ai\x82\xCD" "12\n";
// MPEG-2の場合、4:3が2,16:9が3\n
inline constexpr char msg_usage_6[] = "MPEG-2\x82\xCC\x8F\xEA\x8D\x87\x81" "A4:3\x82\xAA" "2,16:9\x82\xAA" "3\n";
// 例) morvalencmd -o3 mpeg2file.mpg\n
inline constexpr char msg_usage_7[] = "\x97\xE1) morvalencmd -o3 mpeg2file.mpg\n";
// mpeg2file.mpgを16:9に変換します。\n
inline constexpr char msg_usage_8[] = "mpeg2file.mpg\x82\xF0" "16:9\x82\xC9\x95\xCF\x8A\xB7\x82\xB5\x82\xDC\x82\xB7\x81" "B\n";
// -r ヘッダー範囲検索をする\n
inline constexpr char msg_usage_9[] = "-r \x83w\x83" "b\x83_\x81[\x94\xCD\x88\xCD\x8C\x9F\x8D\xF5\x82\xF0\x82\xB7\x82\xE9\n";
// ※範囲長は、256バイト(固定)\n\n
inline constexpr char msg_usage_10[] = "\x81\xA6\x94\xCD\x88\xCD\x92\xB7\x82\xCD\x81" "A256\x83o\x83" "C\x83g(\x8C\xC5\x92\xE8)\n\n";
// オプションを指定しない場合\n
inline constexpr char msg_usage_11[] = "\x83I\x83v\x83V\x83\x87\x83\x93\x82\xF0\x8Ew\x92\xE8\x82\xB5\x82\xC8\x82\xA2\x8F\xEA\x8D\x87\n";
// MPEG1...VCD規格(4:3)へ変換\n
inline constexpr char msg_usage_12[] = "MPEG1...VCD\x8BK\x8Ai(4:3)\x82\xD6\x95\xCF\x8A\xB7\n";
// MPEG2...4:3<-->16:9を相互変換\n\n
inline constexpr char msg_usage_13[] = "MPEG2...4:3<-->16:9\x82\xF0\x91\x8A\x8C\xDD\x95\xCF\x8A\xB7\n\n";
// エラー:ファイル名が指定されていません\n\n
inline constexpr char msg_usage_14[] = "\x83G\x83\x89\x81[:\x83t\x83@\x83" "C\x83\x8B\x96\xBC\x82\xAA\x8Ew\x92\xE8\x82\xB3\x82\xEA\x82\xC4\x82\xA2\x82\xDC\x82\xB9\x82\xF1\n\n";
// -l オプションセット\n
inline constexpr char msg_option_l[] = "-l \x83I\x83v\x83V\x83\x87\x83\x93\x83Z\x83" "b\x83g\n";
// -o オプションセット\n
inline constexpr char msg_option_o[] = "-o \x83I\x83v\x83V\x83\x87\x83\x93\x83Z\x83" "b\x83g\n";
// -r オプションセット\n
inline constexpr char msg_option_r[] = "-r \x83I\x83v\x83V\x83\x87\x83\x93\x83Z\x83" "b\x83g\n";
// ファイルが指定されていません\n
inline constexpr char msg_no_file[] = "\x83t\x83@\x83" "C\x83\x8B\x82\xAA\x8Ew\x92\xE8\x82\xB3\x82\xEA\x82\xC4\x82\xA2\x82\xDC\x82\xB9\x82\xF1\n";
// 何らかの原因で、読み書きができない状態です(%d)\n
inline constexpr char msg_open_gave_up[] = "\x89\xBD\x82\xE7\x82\xA9\x82\xCC\x8C\xB4\x88\xF6\x82\xC5\x81" "A\x93\xC7\x82\xDD\x8F\x91\x82\xAB\x82\xAA\x82\xC5\x82\xAB\x82\xC8\x82\xA2\x8F\xF3\x91\xD4\x82\xC5\x82\xB7(%d)\n";
// MPEGではありません\n
inline constexpr char msg_not_mpeg[] = "MPEG\x82\xC5\x82\xCD\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1\n";
// RW回数 %d\n
inline constexpr char msg_rw_count[] = "RW\x89\xF1\x90\x94 %d\n";
// 変換元アスペクト:%s\n
inline constexpr char msg_source_aspect[] = "\x95\xCF\x8A\xB7\x8C\xB3\x83" "A\x83X\x83y\x83N\x83g:%s\n";
// 変換先アスペクト:%s\n
inline constexpr char msg_target_aspect[] = "\x95\xCF\x8A\xB7\x90\xE6\x83" "A\x83X\x83y\x83N\x83g:%s\n";
// エラー:アスペクト番号が、0～15内にありません\n
inline constexpr char msg_aspect_out_of_range[] = "\x83G\x83\x89\x81[:\x83" "A\x83X\x83y\x83N\x83g\x94\xD4\x8D\x86\x82\xAA\x81" "A0\x81`15\x93\xE0\x82\xC9\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1\n";
// %dが指定されました\n
inline constexpr char msg_aspect_given[] = "%d\x82\xAA\x8Ew\x92\xE8\x82\xB3\x82\xEA\x82\xDC\x82\xB5\x82\xBD\n";
// 変換先アスペクトが指定されていません\n
inline constexpr char msg_target_equals_source[] = "\x95\xCF\x8A\xB7\x90\xE6\x83" "A\x83X\x83y\x83N\x83g\x82\xAA\x8Ew\x92\xE8\x82\xB3\x82\xEA\x82\xC4\x82\xA2\x82\xDC\x82\xB9\x82\xF1\n";
// \nリストアップ終了\n
inline constexpr char msg_list_done[] = "\n\x83\x8A\x83X\x83g\x83" "A\x83" "b\x83v\x8FI\x97\xB9\n";
// 変換済(iniファイル作成)
inline constexpr char msg_converted_ini_created[] = "\x95\xCF\x8A\xB7\x8D\xCF(ini\x83t\x83@\x83" "C\x83\x8B\x8D\xEC\x90\xAC)";
// 変換済
inline constexpr char msg_converted[] = "\x95\xCF\x8A\xB7\x8D\xCF";
// ファイルオープンエラー(R/W)
inline constexpr char msg_engine_open[] = "\x83t\x83@\x83" "C\x83\x8B\x83I\x81[\x83v\x83\x93\x83G\x83\x89\x81[(R/W)";
// バッファ確保エラー(1)
inline constexpr char msg_engine_buffer_1[] = "\x83o\x83" "b\x83t\x83@\x8Am\x95\xDB\x83G\x83\x89\x81[(1)";
// バッファ確保エラー(2)
inline constexpr char msg_engine_buffer_2[] = "\x83o\x83" "b\x83t\x83@\x8Am\x95\xDB\x83G\x83\x89\x81[(2)";
// ストリームIDが見つかりません
inline constexpr char msg_engine_stream_id[] = "\x83X\x83g\x83\x8A\x81[\x83\x80ID\x82\xAA\x8C\xA9\x82\xC2\x82\xA9\x82\xE8\x82\xDC\x82\xB9\x82\xF1";
// iniファイル名生成エラー
inline constexpr char msg_engine_ini_name[] = "ini\x83t\x83@\x83" "C\x83\x8B\x96\xBC\x90\xB6\x90\xAC\x83G\x83\x89\x81[";
// iniファイル生成エラー(W)
inline constexpr char msg_engine_ini_create[] = "ini\x83t\x83@\x83" "C\x83\x8B\x90\xB6\x90\xAC\x83G\x83\x89\x81[(W)";
// アスペクト情報の書き換えに失敗しました
inline constexpr char msg_engine_write[] = "\x83" "A\x83X\x83y\x83N\x83g\x8F\xEE\x95\xF1\x82\xCC\x8F\x91\x82\xAB\x8A\xB7\x82\xA6\x82\xC9\x8E\xB8\x94s\x82\xB5\x82\xDC\x82\xB5\x82\xBD";
// エラー終了(%d)
inline constexpr char msg_error_end[] = "\x83G\x83\x89\x81[\x8FI\x97\xB9(%d)";
// ストリームIDが見つかりません(%#x %#x %#x)
inline constexpr char msg_stream_id_bytes[] = "\x83X\x83g\x83\x8A\x81[\x83\x80ID\x82\xAA\x8C\xA9\x82\xC2\x82\xA9\x82\xE8\x82\xDC\x82\xB9\x82\xF1(%#x %#x %#x)";
// 経過/残り時間 %d:%.2d/約%d分
inline constexpr char msg_progress_minutes[] = "\x8Co\x89\xDF/\x8E" "c\x82\xE8\x8E\x9E\x8A\xD4 %d:%.2d/\x96\xF1%d\x95\xAA";
// 経過/残り時間 %d:%.2d/約%d秒
inline constexpr char msg_progress_seconds[] = "\x8Co\x89\xDF/\x8E" "c\x82\xE8\x8E\x9E\x8A\xD4 %d:%.2d/\x96\xF1%d\x95" "b";
// 処理中(%d%%)
inline constexpr char msg_progress_percent[] = "\x8F\x88\x97\x9D\x92\x86(%d%%)";

// Formats shared by several messages and the side files (ASCII).
inline constexpr char fmt_line[] = "%s\n";
inline constexpr char fmt_stream_id_line[] = "\n%s\n";
inline constexpr char fmt_summary[] = "MPEG-%d %dx%d %sfps %.2fkbps %s %s";
inline constexpr char fmt_duration[] = "%d:%.2d:%.2d.%.3d";
inline constexpr char fmt_progress_line[] = "%s %s";
inline constexpr char fmt_progress_list_line[] = "%s %s %s";
inline constexpr char fmt_progress_out[] = "%s\r";
inline constexpr char fmt_marker_first[] = "%d\n";
inline constexpr char fmt_marker_position[] = "%I64d\n";
inline constexpr char fmt_list_header[] = "%s sequence header list\n";
inline constexpr char fmt_list_entry[] = "%12I64d %08I64x %02x %02x %02x %02x (%s)";

// The head and tail window stops (ASCII).
inline constexpr char msg_headbuf_error[] = "headbuf error\n";
inline constexpr char msg_head_read_error[] = "begin readsize=0\n";
inline constexpr char msg_tailbuf_error[] = "tailbuf NULL\n";
inline constexpr char msg_tail_read_error[] = "tail read<\n";
