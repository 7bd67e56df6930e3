<?xml version="1.0" encoding="UTF-8"?>
<!-- Periodeoverzicht: every report of the chosen transmitters, newest first per
     transmitter, with its alarm lines, who was told and who acknowledged.
     Kept to table markup and simple CSS so that the console's viewer, an
     ordinary browser and paper all show the same thing. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="html" encoding="UTF-8" indent="no"/>
  <!-- The console shows a long overview a page at a time: each page is a
       document of its own whose root carries the figures of the whole
       overview. A browser opening overzicht.xml counts for itself. -->
  <xsl:key name="perMelder" match="melding" use="@alias"/>

  <xsl:template match="/overzicht">
    <html>
      <head>
        <meta http-equiv="Content-Type" content="text/html; charset=UTF-8"/>
        <title>Taviro alarmoverzicht</title>
        <style type="text/css">
          body { font-family: "DejaVu Sans", Arial, sans-serif; font-size: 9pt; color: #1f2933; background-color: #ffffff; }
          h1 { font-size: 15pt; font-weight: 600; color: #123a5e; margin-bottom: 2px; }
          p.sub { color: #52606d; margin-top: 0px; }
          /* Separate cell borders without spacing look the same as collapsed
             ones and cost the console a fraction of the time to paint. */
          table.grid { border: 1px solid #cbd2d9; }
          table.grid th { background-color: #123a5e; color: #ffffff; font-weight: 600; text-align: left; padding: 4px 6px; border: 1px solid #123a5e; }
          table.grid td { padding: 3px 6px; border: 1px solid #e4e7eb; vertical-align: top; }
          tr.report td { background-color: #e8eef5; font-weight: 600; color: #123a5e; border-top: 2px solid #9fb3c8; }
          tr.even td { background-color: #f7f9fb; }
          span.sort { color: #9fb3c8; }
          span.bemand { color: #ffffff; background-color: #3e7c17; font-weight: 600; }
          span.inactief { color: #8a1c1c; font-weight: 600; }
          span.geen { color: #b44d12; font-weight: 600; }
          span.ok { color: #3e7c17; font-weight: 600; }
          span.op { color: #b42318; font-weight: 600; }
          span.af { color: #52606d; }
          td.num { white-space: nowrap; }
          p.leeg { color: #52606d; font-style: italic; }
          @media print { body { font-size: 8pt; } table.grid th { color: #000000; background-color: #dde3ea; } }
        </style>
      </head>
      <body>
        <h1>Taviro alarmoverzicht</h1>
        <xsl:variable name="meldingen">
          <xsl:choose>
            <xsl:when test="@meldingen"><xsl:value-of select="@meldingen"/></xsl:when>
            <xsl:otherwise><xsl:value-of select="count(melding)"/></xsl:otherwise>
          </xsl:choose>
        </xsl:variable>
        <p class="sub">
          <xsl:value-of select="$meldingen"/> meldingen,
          <xsl:choose>
            <xsl:when test="@alarmen"><xsl:value-of select="@alarmen"/></xsl:when>
            <xsl:otherwise><xsl:value-of select="count(melding/alarm)"/></xsl:otherwise>
          </xsl:choose> alarmregels
          <xsl:if test="@van">
            — van <xsl:call-template name="dag"><xsl:with-param name="iso" select="@van"/></xsl:call-template>
            tot <xsl:call-template name="dag"><xsl:with-param name="iso" select="@tot"/></xsl:call-template>
          </xsl:if>
          <xsl:if test="@paginas &gt; 1">
            — meldingen <xsl:value-of select="@eerste"/>-<xsl:value-of select="@eerste + count(melding) - 1"/>
            (pagina <xsl:value-of select="@pagina"/> van <xsl:value-of select="@paginas"/>)
          </xsl:if>
        </p>
        <xsl:if test="melder and not(@pagina &gt; 1)">
          <table class="grid" cellspacing="0" cellpadding="3">
            <tr><th>Melder</th><th>OS-nummer</th><th>Adres</th><th>Plaats</th><th>Meldingen</th></tr>
            <xsl:for-each select="melder">
              <xsl:variable name="alias" select="alias"/>
              <tr>
                <td><xsl:value-of select="naam"/></td>
                <td><xsl:value-of select="alias"/></td>
                <td><xsl:value-of select="adres"/></td>
                <td><xsl:value-of select="plaats"/></td>
                <td class="num">
                  <xsl:choose>
                    <xsl:when test="@meldingen"><xsl:value-of select="@meldingen"/></xsl:when>
                    <xsl:otherwise><xsl:value-of select="count(key('perMelder', $alias))"/></xsl:otherwise>
                  </xsl:choose>
                </td>
              </tr>
            </xsl:for-each>
          </table>
          <br/>
        </xsl:if>
        <xsl:choose>
          <xsl:when test="melding">
            <!-- A table of its own per report: a viewer lays out a long list of
                 small tables a piece at a time, one big table all at once.
                 The fixed column widths line them up. -->
            <table class="grid" width="99%" cellspacing="0" cellpadding="3">
              <tr>
                <th width="13%">Datum <span class="sort">▼</span></th>
                <th width="7%">Functie</th>
                <th width="22%">Omschrijving</th>
                <th width="5%">Flank</th>
                <th width="15%">Uitgemeld aan</th>
                <th width="11%">Uitgemeld op</th>
                <th width="16%">Bevestigd door</th>
                <th width="11%">Bevestigd op</th>
              </tr>
            </table>
            <xsl:apply-templates select="melding"/>
          </xsl:when>
          <xsl:otherwise>
            <p class="leeg">Geen meldingen in deze periode.</p>
          </xsl:otherwise>
        </xsl:choose>
      </body>
    </html>
  </xsl:template>

  <xsl:template match="melding">
    <table class="grid" width="99%" cellspacing="0" cellpadding="3">
    <tr class="report">
      <td class="num" width="13%"><xsl:value-of select="@date"/></td>
      <td colspan="7">
        <xsl:value-of select="@naam"/> (<xsl:value-of select="@alias"/>) — melding <xsl:value-of select="@id"/>
        <xsl:if test="@bemand = 'true'"><xsl:text> </xsl:text><span class="bemand"> BEMAND </span></xsl:if>
      </td>
    </tr>
    <xsl:for-each select="alarm">
      <tr>
        <xsl:if test="position() mod 2 = 0"><xsl:attribute name="class">even</xsl:attribute></xsl:if>
        <td class="num" width="13%"><xsl:value-of select="@date"/></td>
        <td width="7%"><xsl:value-of select="functie"/></td>
        <td width="22%"><xsl:value-of select="omschrijving"/></td>
        <td width="5%"><span class="{@flank}"><xsl:value-of select="@flank"/></span></td>
        <td width="15%"><xsl:value-of select="uitgemeld"/><xsl:if test="email"> (e-mail <xsl:value-of select="email"/>)</xsl:if></td>
        <td class="num" width="11%"><xsl:call-template name="marker"><xsl:with-param name="text" select="uitgemeldop"/></xsl:call-template></td>
        <td width="16%"><xsl:value-of select="bevestigd"/></td>
        <td class="num" width="11%"><xsl:value-of select="bevestigdop"/></td>
      </tr>
    </xsl:for-each>
    </table>
  </xsl:template>

  <!-- A day as the operator reads it: 2026-12-02 as 02-12-2026. -->
  <xsl:template name="dag">
    <xsl:param name="iso"/>
    <xsl:value-of select="concat(substring($iso, 9, 2), '-', substring($iso, 6, 2), '-', substring($iso, 1, 4))"/>
  </xsl:template>

  <!-- The words that stand in for a dispatch time get a colour of their own. -->
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
