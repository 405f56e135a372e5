// SPDX-License-Identifier: GPL-3.0-or-later
// Keeps the support library non-empty while it has no builders of its own.
