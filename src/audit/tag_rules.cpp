#include "audit/tag_rules.h"

// Inserted in this order; "back" and "chara" stand twice in the list, so the
// set holds 182 names.
const std::set<std::string, std::less<>> knownTags = {
    "text", "l", "p", "graph", "r", "er", "cm", "ct", "current", "position",
    "ruby", "label", "config_record_label", "jump", "link", "endlink", "goto",
    "button", "glink", "clickable", "image", "freeimage", "freelayer", "free",
    "ptext", "mtext", "back", "chara", "backlay", "trans", "wt", "hidemessage",
    "layopt", "bg", "layermode", "layermode_movie", "free_layermode", "mask",
    "mask_off", "filter", "free_filter", "clearfix", "playbgm", "stopbgm",
    "fadeinbgm", "fadeoutbgm", "bgmovie", "mpeg", "bgmopt", "wbgm", "playse",
    "stopse", "se", "stop", "fadeinse", "seopt", "wse", "voconfig", "vostart",
    "vostop", "speak_on", "speak_off", "loadjs", "load", "eval", "emb",
    "clearvar", "clearsysvar", "clearstack", "iscript", "endscript", "if",
    "elsif", "script", "else", "endif", "ignore", "endignore", "call",
    "return", "macro", "endmacro", "erasemacro", "s", "wait", "waits",
    "wait_cancel", "quake", "clearclear", "font", "deffont", "resetfont",
    "delay", "resetdelay", "configdelay", "nowait", "endnowait", "locate",
    "for", "glyph", "showsave", "showload", "showmenu", "showlog", "display",
    "showmenubutton", "displaymenubutton", "hidemenubutton", "sysview",
    "savesnap", "saveimg", "skipstart", "skipstop", "cancelskip", "autostart",
    "autostop", "autoconfig", "close", "title", "autosave", "autoload",
    "preload", "cursor", "screen_full", "sleepgame", "awakegame", "break_bgm",
    "dialog", "plugin", "chara", "loadcss", "nolog", "endnolog", "pushlog",
    "start_keyconfig", "stop_keyconfig", "apply_local_patch",
    "check_web_patch", "anim", "wa", "stopanim", "keyframe", "endkeyframe",
    "frame", "kanim", "stop_kanim", "chara_ptext", "chara_config", "chara_new",
    "chara_show", "chara_hide", "chara_hide_all", "chara_delete", "chara_mod",
    "chara_face", "chara_layer", "chara_layer_mod", "chara_part",
    "chara_part_reset", "vchat_config", "vchat_chara", "edit", "commit",
    "camera", "reset_camera", "wait_camera", "movie", "wait_bgmovie",
    "stop_bgmovie", "web", "trace", "html", "endhtml", "back", "charaset",
    "chararemove", "saveinfo", "setsave", "loading", "cg_image_button", "cg",
    "replay_image_button", "setreplay", "endreplay"};

namespace {

// ASCII only: the process locale is never changed, so isalnum would answer
// the same, without depending on it.
bool isAsciiAlnum(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

bool isGluedToText(std::string_view line, std::size_t openPos, std::size_t closePos) {
  if (openPos == 0) return false;
  if (closePos + 1 >= line.size()) return false;
  const auto before = static_cast<unsigned char>(line[openPos - 1]);
  const auto after = static_cast<unsigned char>(line[closePos + 1]);
  if (isAsciiAlnum(before) || before == '.' || before == '_' || before == ']') {
    return true;
  }
  return isAsciiAlnum(after) || after == '.' || after == '_' || after == '[';
}

bool isArrayAccess(std::string_view line, std::size_t openPos,
                   std::size_t closePos, std::string_view tagName) {
  return !knownTags.contains(tagName) && isGluedToText(line, openPos, closePos);
}
