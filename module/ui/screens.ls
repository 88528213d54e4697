// The module's screens on the game's GUI runtime: the game menu and the options screen
// (Escape in play), and the spell selection of play mode with its mana bar.
import ui.elements
import ui.spells_ui
import ui.menus
