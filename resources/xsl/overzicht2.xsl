<?xml version="1.0" encoding="UTF-8"?>
<!-- Dagoverzicht: one day, grouped per transmitter, so the morning shift sees at
     a glance what each installation did overnight and who handled it. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="html" encoding="UTF-8" indent="no"/>
  <!-- The console shows a long day a page at a time: each page is a document
       of its own whose root carries the figures of the whole day and whose
       transmitters carry their report count and the page their section
       starts on. A browser opening overzicht.xml counts for itself. -->
  <xsl:key name="perMelder" match="melding" use="@alias"/>

  <xsl:template match="/overzicht">
    <html>
      <head>
        <meta http-equiv="Content-Type" content="text/html; charset=UTF-8"/>
        <title>Taviro dagoverzicht</title>
        <style type="text/css">
          body { font-family: "DejaVu Sans", Arial, sans-serif; font-size: 9pt; color: #1f2933; background-color: #ffffff; }
          h1 { font-size: 15pt; font-weight: 600; color: #0b4f4a; margin-bottom: 2px; }
          h2 { font-size: 11pt; font-weight: 600; color: #0b4f4a; margin-top: 14px; margin-bottom: 2px; }
          p.sub { color: #52606d; margin-top: 0px; }
          /* Separate cell borders without spacing look the same as collapsed
             ones and cost the console a fraction of the time to paint. */
          table.grid { border: 1px solid #c5d6d4; }
          table.grid th { background-color: #0b4f4a; color: #ffffff; font-weight: 600; text-align: left; padding: 4px 6px; border: 1px solid #0b4f4a; }
          table.grid td { padding: 3px 6px; border: 1px solid #e1eae9; vertical-align: top; }
          tr.first td { border-top: 2px solid #8fb8b3; }
          tr.even td { background-color: #f5f9f8; }
          span.sort { color: #8fb8b3; }
          span.bemand { color: #ffffff; background-color: #3e7c17; font-weight: 600; }
          span.inactief { color: #8a1c1c; font-weight: 600; }
          span.geen { color: #b44d12; font-weight: 600; }
          span.ok { color: #3e7c17; font-weight: 600; }
          span.op { color: #b42318; font-weight: 600; }
          span.af { color: #52606d; }
          td.num { white-space: nowrap; }
          p.leeg { color: #52606d; font-style: italic; }
          @media print { body { font-size: 8pt; } table.grid th { color: #000000; background-color: #dde8e6; } }
        </style>
      </head>
      <body>
        <h1>Taviro dagoverzicht
          <xsl:if test="@van">
            <xsl:value-of select="concat(' ', substring(@van, 9, 2), '-', substring(@van, 6, 2), '-', substring(@van, 1, 4))"/>
          </xsl:if>
        </h1>
        <p class="sub">
          <xsl:choose>
            <xsl:when test="@meldingen">
              <xsl:value-of select="@meldingen"/> meldingen,
              <xsl:value-of select="@alarmen"/> alarmregels,
              <xsl:value-of select="@bemandOntvangen"/> bemand ontvangen
            </xsl:when>
            <xsl:otherwise>
              <xsl:value-of select="count(melding)"/> meldingen,
              <xsl:value-of select="count(melding/alarm)"/> alarmregels,
              <xsl:value-of select="count(melding[@bemand = 'true'])"/> bemand ontvangen
            </xsl:otherwise>
          </xsl:choose>
          <xsl:if test="@paginas &gt; 1">
            — meldingen <xsl:value-of select="@eerste"/>-<xsl:value-of select="@eerste + count(melding) - 1"/>
            (pagina <xsl:value-of select="@pagina"/> van <xsl:value-of select="@paginas"/>)
          </xsl:if>
        </p>
        <xsl:if test="not(melder)"><p class="leeg">Geen melders gekozen.</p></xsl:if>
        <!-- On a page: the transmitters with reports on it, and those without
             any report at the place they would have in the whole day. -->
        <xsl:for-each select="melder[not(/overzicht/@pagina) or key('perMelder', alias) or (@meldingen = 0 and @pagina = /overzicht/@pagina)]">
          <xsl:variable name="alias" select="alias"/>
          <h2><xsl:value-of select="naam"/> (<xsl:value-of select="alias"/>)
            <xsl:if test="@pagina &lt; /overzicht/@pagina"> — vervolg</xsl:if>
          </h2>
          <p class="sub"><xsl:value-of select="adres"/>, <xsl:value-of select="plaats"/></p>
          <xsl:choose>
            <xsl:when test="key('perMelder', $alias)">
              <!-- A table of its own per report: a viewer lays out a long list
                   of small tables a piece at a time, one big table all at once.
                   The fixed column widths line them up. -->
              <table class="grid" width="99%" cellspacing="0" cellpadding="3">
                <tr>
                  <th width="7%">Tijd <span class="sort">▼</span></th>
                  <th width="9%">Melding</th>
                  <th width="7%">Functie</th>
                  <th width="24%">Omschrijving</th>
                  <th width="5%">Flank</th>
                  <th width="14%">Uitgemeld aan</th>
                  <th width="10%">Uitgemeld op</th>
                  <th width="14%">Bevestigd door</th>
                  <th width="10%">Bevestigd op</th>
                </tr>
              </table>
              <xsl:apply-templates select="key('perMelder', $alias)"/>
            </xsl:when>
            <xsl:otherwise><p class="leeg">Geen meldingen op deze dag.</p></xsl:otherwise>
          </xsl:choose>
        </xsl:for-each>
      </body>
    </html>
  </xsl:template>

  <xsl:template match="melding">
    <xsl:variable name="melding" select="."/>
    <table class="grid" width="99%" cellspacing="0" cellpadding="3">
    <xsl:for-each select="alarm">
      <tr>
        <xsl:choose>
          <xsl:when test="position() = 1"><xsl:attribute name="class">first</xsl:attribute></xsl:when>
          <xsl:when test="position() mod 2 = 0"><xsl:attribute name="class">even</xsl:attribute></xsl:when>
        </xsl:choose>
        <td class="num" width="7%"><xsl:value-of select="substring(@date, 7)"/></td>
        <td class="num" width="9%">
          <xsl:if test="position() = 1">
            <xsl:value-of select="$melding/@id"/>
            <xsl:if test="$melding/@bemand = 'true'"><xsl:text> </xsl:text><span class="bemand"> BEMAND </span></xsl:if>
          </xsl:if>
        </td>
        <td width="7%"><xsl:value-of select="functie"/></td>
        <td width="24%"><xsl:value-of select="omschrijving"/></td>
        <td width="5%"><span class="{@flank}"><xsl:value-of select="@flank"/></span></td>
        <td width="14%"><xsl:value-of select="uitgemeld"/><xsl:if test="email"> (e-mail <xsl:value-of select="email"/>)</xsl:if></td>
        <td class="num" width="10%"><xsl:call-template name="marker"><xsl:with-param name="text" select="uitgemeldop"/></xsl:call-template></td>
        <td width="14%"><xsl:value-of select="bevestigd"/></td>
        <td class="num" width="10%"><xsl:value-of select="bevestigdop"/></td>
      </tr>
    </xsl:for-each>
    </table>
  </xsl:template>

  <xsl:template name="marker">
    <xsl:param name="text"/>
    <xsl:choose>
      <xsl:when test="$text = 'INACTIEF'"><span class="inactief">INACTIEF</span></xsl:when>
      <xsl:when test="$text = 'GEEN ONTV.'"><span class="geen">GEEN ONTV.</span></xsl:when>
      <xsl:when test="$text = 'BEMAND'"><span class="ok">BEMAND</span></xsl:when>
      <xsl:when test="$text = '24 UURS OK'"><span class="ok">24 UURS OK</span></xsl:when>
      <xsl:otherwise><xsl:value-of select="$text"/></xsl:otherwise>
    </xsl:choose>
  </xsl:template>
</xsl:stylesheet>
