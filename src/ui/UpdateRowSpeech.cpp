#include "ui/UpdateRowSpeech.h"

#include <QStringList>

#include "engine/UpdateRecord.h"
#include "util/QuorvinSI.h"

QString SpokenUpdateRow(const QString& record) {
  // A splitter of its own: the window's SI belongs to drawing and detection,
  // and assistive technology may ask at any moment.
  TQuorvinSI splitter;
  splitter.SetDelimiter(',');
  splitter.SetSourceString(record.toStdString());
  const TStringList& fields = splitter.FieldList();
  if (fields.Count() < kFolderIndexes) return record;

  auto field = [&](int index) { return QString::fromStdString(fields[index]); };
  QString installed = field(kInstalledVersion);
  if (installed.startsWith(QLatin1Char(kNeverDownloadMark))) installed = installed.mid(1).trimmed();
  QStringList parts{field(kComponentFile), QStringLiteral("current ") + installed,
                    QStringLiteral("available ") + field(kAvailableVersion)};
  if (FlagIsSet(fields[kDuplicateFlag])) parts << QStringLiteral("installed more than once");
  if (FlagIsSet(fields[kInUseFlag])) parts << QStringLiteral("in use");
  return parts.join(QStringLiteral(", "));
}
