#include "export/ScheduleDocument.h"

#include "db/RecordLayouts.h"
#include "export/XmlText.h"

namespace nvx {

namespace {

const QString kFinLigne = QStringLiteral("\r\n");

} // namespace

void ScheduleDocument::ligne(QStringView balise)
{
    texte_ += balise;
    texte_ += kFinLigne;
}

void ScheduleDocument::element(QStringView balise, const QString& valeur)
{
    texte_ += u'<';
    texte_ += balise;
    texte_ += u'>';
    texte_ += valeur;
    texte_ += u"</";
    texte_ += balise;
    texte_ += u'>';
    texte_ += kFinLigne;
}

void ScheduleDocument::nombre(QStringView balise, qint64 valeur)
{
    element(balise, QString::number(valeur));
}

void ScheduleDocument::entete(const Entete& e)
{
    texte_.reserve(texte_.size() + 1024);
    ligne(u"<?xml version=\"1.0\" encoding=\"UTF-8\" ?>");
    ligne(u"<root>");
    ligne(u"<version>");
    element(u"xml", QStringLiteral("0.3"));
    element(u"scheduler", TexteXml(e.schedulerVersion));
    ligne(u"</version>");
    ligne(u"<radio>");
    element(u"id", TexteXml(e.radioId));
    element(u"lib", LibelleXml(e.radioLib));
    ligne(u"</radio>");
    ligne(u"<station>");
    element(u"id", TexteXml(e.stationId));
    element(u"lib", LibelleXml(e.stationLib));
    ligne(u"</station>");
    ligne(u"<author>");
    element(u"id", TexteXml(e.userId));
    element(u"lib", LibelleXml(e.userLib));
    ligne(u"</author>");
    ligne(u"<schedule>");
    element(u"date", TexteXml(e.date));
    element(u"starttiming", TexteXml(e.heure) + QStringLiteral(":00:00"));
    element(u"endtiming", TexteXml(e.heure) + QStringLiteral(":59:59"));
    ligne(u"</schedule>");
    ligne(u"<build>");
    element(u"date", e.buildDate);
    element(u"timing", e.buildTiming);
    ligne(u"</build>");
    ligne(u"<pub>");
    element(u"date", e.pubDate);
    element(u"timing", e.pubTiming);
    ligne(u"</pub>");
    ligne(u"<data>");
}

void ScheduleDocument::item(const Record& r, const ItemValues& v)
{
    const auto brut = [&r](QStringView champ) { return TexteXml(r.displayText(champ)); };
    texte_.reserve(texte_.size() + 2048);
    ligne(u"<item>");
    element(u"timing", brut(u"Heure") + u':' + brut(u"Minute") + u':' + brut(u"Seconde"));
    element(u"timingorder", brut(u"Ordre"));
    ligne(u"<keys>");
    element(u"key0", brut(u"Nature"));
    element(u"key1", brut(u"Cle2"));
    element(u"key2", brut(u"Cle3"));
    element(u"key3", brut(u"Cle4"));
    element(u"key4", brut(u"Cle5"));
    ligne(u"</keys>");
    element(u"nature", TexteXml(v.nature));
    element(u"description", LibelleXml(v.description));
    ligne(u"<song>");
    element(u"id", TexteXml(v.songId));
    element(u"lib", LibelleXml(v.songLib));
    ligne(u"</song>");
    ligne(u"<artist>");
    element(u"id", TexteXml(v.artistId));
    element(u"lib", LibelleXml(v.artistLib));
    ligne(u"</artist>");
    ligne(u"<category>");
    element(u"id", TexteXml(v.categoryId));
    element(u"lib", LibelleXml(v.categoryLib));
    nombre(u"color", v.color);
    ligne(u"</category>");
    nombre(u"soundduration", v.soundDuration);
    nombre(u"playduration", v.playDuration);
    ligne(u"<row>");
    element(u"guid", brut(u"Guid"));
    element(u"status", TexteXml(v.status));
    element(u"locked", TexteXml(v.locked));
    ligne(u"</row>");
    ligne(u"<mixpoints>");
    nombre(u"fadeinpos", v.mix.fadeinpos);
    nombre(u"fadeindur", v.mix.fadeindur);
    nombre(u"intropos", v.mix.intropos);
    nombre(u"fadeoutpos", v.mix.fadeoutpos);
    nombre(u"fadeoutdur", v.mix.fadeoutdur);
    nombre(u"startnextpos", v.mix.startnextpos);
    element(u"level", NiveauXml(v.mix.level));
    ligne(u"</mixpoints>");
    ligne(u"<modifiedmixpoints>");
    ligne(u"<in>");
    element(u"modified", brut(u"ModifEntree"));
    nombre(u"fadeinpos", v.modFadeInPos);
    nombre(u"fadeindur", v.modFadeInDur);
    nombre(u"intropos", v.modIntroPos);
    ligne(u"</in>");
    ligne(u"<out>");
    element(u"modified", brut(u"ModifSortie"));
    nombre(u"fadeoutpos", v.modFadeOutPos);
    nombre(u"fadeoutdur", v.modFadeOutDur);
    nombre(u"startnextpos", v.modStartNextPos);
    nombre(u"durationoutofsong", v.modDurationOutOfSong);
    ligne(u"</out>");
    ligne(u"</modifiedmixpoints>");
    ligne(u"<attenuation>");
    nombre(u"start", r.integer(u"AttenuationDebut"));
    nombre(u"end", r.integer(u"AttenuationFin"));
    ligne(u"</attenuation>");
    ligne(u"</item>");
}

void ScheduleDocument::fin()
{
    ligne(u"</data>");
    ligne(u"</root>");
}

} // namespace nvx
