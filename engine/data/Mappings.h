#pragma once

#include "RowMapping.h"
#include "Rows.h"

namespace taviro::mapping {

// The version-29 tables, column by column in the order the schema creates them.
const RowMapping<Melder>& melders();
const RowMapping<Alarm>& alarmen();
const RowMapping<Ontvanger>& ontvangers();
const RowMapping<WeekPlanning>& weekplanningen();
const RowMapping<JaarPlanning>& jaarplanningen();
const RowMapping<Melding>& meldingen();
const RowMapping<MeldIndex>& meldindex();
const RowMapping<Uitmeld>& uitmeld();
const RowMapping<ComPort>& comports();
const RowMapping<Settings>& settings();
const RowMapping<Gebruiker>& gebruikers();
// Our own table: every (dispatch, line) pair, so each recipient on duty keeps its lines.
const RowMapping<UitmeldLink>& uitmeldlink();
const RowMapping<UitmeldClaim>& uitmeldclaim();
const RowMapping<UitmeldMail>& uitmeldmail();
const RowMapping<UitmeldRetry>& uitmeldretry();
const RowMapping<MeldingSleutel>& meldingsleutel();
const RowMapping<WijzigTeller>& wijzigteller();
const RowMapping<Werkplek>& werkplek();
const RowMapping<TaakSlot>& taakslot();
const RowMapping<UitmeldVerzonden>& uitmeldverzonden();

} // namespace taviro::mapping
