// The play-mode HUD: mana and health, the spells on the mouse buttons, a crosshair, the
// world's goal and progress, and the latest messages.

constexpr D3dColor HUD_TEXT = 0xFFF2EBD8u;
constexpr D3dColor HUD_MANA = 0xFF5AC8FFu;
constexpr D3dColor HUD_HEALTH = 0xFFFF7060u;
constexpr D3dColor HUD_GOAL = 0xFFFFE08Au;

RenderBatch* hud_batch = nullptr;

void close_game_hud() {
    delete hud_batch;
    hud_batch = nullptr;
}

// A bar of block characters: filled share of `width` characters.
void format_bar(char* out, int size, float share, int width) {
    int filled = int(share * float(width) + 0.5f);
    filled = filled < 0 ? 0 : (filled > width ? width : filled);
    int n = 0;
    for (int i = 0; i < width && n + 1 < size; ++i) out[n++] = i < filled ? '|' : '.';
    out[n] = 0;
}

void hud_text(float x, float y, int align, D3dColor color, float size, const char* text) {
    // A dark copy under the text keeps it readable over bright sky and snow.
    float o = fmaxf(1.0f, size / 16.0f);
    D3dColor shadow = (((color >> 24) * 3 / 4) << 24);
    default_font.renderText(*hud_batch, make4f(x + o, y + o, x + o, y + o), align, shadow, size,
                            text, -1);
    default_font.renderText(*hud_batch, make4f(x, y, x, y), align, color, size, text, -1);
}

// With the spell screen up, its bars show the mana and life and its slots the spells.
void draw_game_hud(float time, bool spell_screen) {
    if (!default_font.texture || !local_player) return;
    if (!hud_batch) hud_batch = new RenderBatch();
    WizardState& w = wizard();
    float wd = float(d3d_wd), ht = float(d3d_ht);
    float s = fmaxf(14.0f, ht / 40.0f); // text size, pixels
    char line[160], bar[48];

    if (!spell_screen) {
        format_bar(bar, sizeof(bar), w.mana / MANA_MAX, 25);
        snprintf(line, sizeof(line), "Mana %3.0f %s%s", w.mana, bar, mana_cheat ? "  (cheat)" : "");
        hud_text(s, s, DFA_LEFT | DFA_TOP, HUD_MANA, s, line);
        format_bar(bar, sizeof(bar), w.health / PLAYER_HEALTH, 25);
        snprintf(line, sizeof(line), "Life %3.0f %s", w.health, bar);
        hud_text(s, s * 2.2f, DFA_LEFT | DFA_TOP, HUD_HEALTH, s, line);
    }
    if (!monster_spawn)
        hud_text(s, s * 3.4f, DFA_LEFT | DFA_TOP, HUD_TEXT, s * 0.8f,
                 "Monster spawning off (Ctrl-M)");

    const SpellInfo& l = spell_info[w.button_spell[0]];
    const SpellInfo& r = spell_info[w.button_spell[1]];
    if (spell_screen) {
        // One button a line: side by side they ran under the bars in a small window.
        snprintf(line, sizeof(line), "Left: %s (%d)", l.title, l.cost);
        hud_text(s, ht - s * 1.9f, DFA_LEFT | DFA_BOTTOM, HUD_TEXT, s * 0.8f, line);
        snprintf(line, sizeof(line), "Right: %s (%d)", r.title, r.cost);
        hud_text(s, ht - s, DFA_LEFT | DFA_BOTTOM, HUD_TEXT, s * 0.8f, line);
    } else {
        snprintf(line, sizeof(line), "Left: %s (%d)      Right: %s (%d)", l.title, l.cost,
                 r.title, r.cost);
        hud_text(wd * 0.5f, ht - s, DFA_BOTTOM, HUD_TEXT, s, line);
    }

    hud_text(wd * 0.5f, ht * 0.5f, 0, HUD_TEXT, s * 1.4f, "+");

    int castles = live_count(CastleObject_list);
    if (w.portal_opened)
        snprintf(line, sizeof(line), "World complete: fly into the portal, cast Use portal");
    else
        snprintf(line, sizeof(line), "Goal: castles %d/%d, wyverns slain %d/%d",
                 castles < GOAL_CASTLES ? castles : GOAL_CASTLES, GOAL_CASTLES,
                 w.wyverns_slain < GOAL_WYVERNS ? w.wyverns_slain : GOAL_WYVERNS, GOAL_WYVERNS);
    hud_text(wd - s, s, DFA_RIGHT | DFA_TOP, HUD_GOAL, s, line);

    for (int i = 0; i < game_message_count; ++i) {
        const GameMessage& m = game_messages[i];
        float fade = fminf(1.0f, (MESSAGE_LIFE - m.age) * 2.0f);
        D3dColor c = (D3dColor(fmaxf(0.0f, fade) * 255.0f) << 24) | (HUD_TEXT & 0xFFFFFFu);
        hud_text(wd * 0.5f, ht * 0.5f + s * (2.5f + 1.2f * float(i)), DFA_TOP, c, s, m.text);
    }

    start_dist_font_render();
    hud_batch->render();
    end_dist_font_render();
    hud_batch->clear();
}
