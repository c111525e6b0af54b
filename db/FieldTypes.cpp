#include "db/FieldTypes.h"

std::string_view fieldTypeName(TFieldType t) {
  static constexpr std::string_view names[] = {
      "ftUnknown", "ftString", "ftSmallint", "ftInteger", "ftWord", "ftBoolean", "ftFloat",
      "ftCurrency", "ftBCD", "ftDate", "ftTime", "ftDateTime", "ftBytes", "ftVarBytes",
      "ftAutoInc", "ftBlob", "ftMemo", "ftGraphic", "ftFmtMemo", "ftParadoxOle", "ftDBaseOle",
      "ftTypedBinary", "ftCursor", "ftFixedChar", "ftWideString", "ftLargeint", "ftADT",
      "ftArray", "ftReference", "ftDataSet", "ftOraBlob", "ftOraClob", "ftVariant",
      "ftInterface", "ftIDispatch", "ftGuid"};
  int i = static_cast<int>(t);
  if (i < 0 || i > 35) return "ftUnknown";
  return names[i];
}

bool isBlobType(TFieldType t) {
  switch (t) {
    case ftBlob: case ftMemo: case ftGraphic: case ftFmtMemo: case ftParadoxOle:
    case ftDBaseOle: case ftTypedBinary: case ftOraBlob: case ftOraClob:
      return true;
    default:
      return false;
  }
}

bool isTextBlobType(TFieldType t) { return t == ftMemo || t == ftOraClob; }
